# What a buyer orders from: quantities per code, with maker and description.
description  Purchasing list (quantity, code, maker, description, parts)
group        yes
column       Quantity = @quantity
required     Part Number = MPN-D | MfrPartNo-D | Part Number-D | External Index Code-P
column       Manufacturer = Manufacturer-D | Maker-D | @empty
column       Description = Description-D | Component Description-P
column       Value = Component Value-P
column       Parts = @parts
