# Columns a PCB assembly service reads: one line per group of equal parts.
description  Assembly service upload (Comment, Designator, Footprint, part number)
group        yes
column       Comment = Component Value-P
column       Designator = @parts
column       Footprint = Package-P
required     Part Number = LCSC-D | Supplier Part Number-D | MPN-D | MfrPartNo-D | Part Number-D | External Index Code-P
