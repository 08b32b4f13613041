#include "project_parts.h"

#include "host_utility.h"
#include "show_message.h"
#include "textcodec.h"

#include <algorithm>
#include <array>

namespace rav::kernel
{

namespace
{

// The device-text separator: byte 0x80 in the kernel's Windows-1252, which
// KernelString turns into the euro sign.
constexpr std::string_view kSeparator = "\xE2\x82\xAC";
constexpr std::size_t kMaxProjectName = 1023; // characters

// The kernel's bytes of a text handle; nullptr for 0 or a bad handle.
const char* kernelBytes(std::int32_t handle)
{
    return handle > 0 ? Z_TextPointer(handle) : nullptr;
}

// The length of a kernel text when it is plain ASCII (the same bytes in
// UTF-8), npos when it holds a byte that must be converted.
std::size_t asciiLength(const char* text)
{
    std::size_t n = 0;
    unsigned char high = 0;
    for (; text[n]; ++n)
        high |= static_cast<unsigned char>(text[n]);
    return high < 0x80 ? n : std::string_view::npos;
}

// The text a kernel text handle denotes; "" for 0 or a bad handle. Most
// kernel texts are ASCII and are taken as they are; the others go through
// the host's conversion.
std::string kernelText(std::int32_t handle)
{
    const char* text = kernelBytes(handle);
    if (!text)
        return {};
    const std::size_t n = asciiLength(text);
    return n != std::string_view::npos ? std::string(text, n) : HostUtility::instance().KernelString(text);
}

// Splits the text after the first blank into tokens: every separator closes
// a token (possibly empty) and what follows the last one is one more token,
// empty when the rest ends with a separator.
void splitTokens(std::string_view rest, OneBasedList<std::string>& tokens)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t sep = rest.find(kSeparator, from);
        if (sep == std::string_view::npos) {
            tokens.push_back(std::string(rest.substr(std::min(from, rest.size()))));
            return;
        }
        tokens.push_back(std::string(rest.substr(from, sep - from)));
        from = sep + kSeparator.size();
    }
}

std::string nameOf(std::int32_t object)
{
    return kernelText(O_GetName(object));
}

void show(MessageSink& messages, int code, const std::string& extra)
{
    if (auto message = catalogueMessage(code, extra))
        messages.show(*message);
}

} // namespace

bool AttributeIsSet(const std::string& value)
{
    const std::string v = text::trimBlanks(value);
    if (v.empty())
        return false;
    for (const char* no : { "0", "no", "false", "n" })
        if (text::equalsIgnoreCase(v, no))
            return false;
    return true;
}

namespace
{

// Calls `visit(name, value)` for each attribute text "NAME=VALUE" of a
// layout component, in order, until it returns false.
template <class Visit> void forEachAttribute(std::int32_t component, Visit visit)
{
    Z_ComponentRecord record {};
    if (L_ReadComponent(component, &record) == 0)
        return;
    for (std::int32_t k = 1; k <= record.schCompCount; ++k) {
        const std::int32_t id = L_GetSchCompId(component, k);
        Z_SchematicRecord schematic {};
        if (id <= 0 || C_ReadComponent(id, &schematic) <= 0)
            continue;
        const std::int32_t texts = C_CompTextArray(id);
        const auto mask = static_cast<std::int32_t>(TextMask::Attribute);
        for (std::int32_t pos = OA_SearchMask(texts, 1, mask); pos > 0;
             pos = OA_SearchMask(texts, pos + 1, mask)) {
            Z_ItemRecord item {};
            if (I_ReadItem(C_CompText(id, pos), &item) == 0)
                continue;
            const std::string t = kernelText(item.text);
            const std::size_t eq = t.find('=');
            if (eq != std::string::npos && !visit(t.substr(0, eq), t.substr(eq + 1)))
                return;
        }
    }
}

} // namespace

std::string ProjectParts::ReadComponentAttribute(std::int32_t component, const std::string& name)
{
    std::string found;
    forEachAttribute(component, [&](const std::string& n, const std::string& value) {
        if (!text::equalsIgnoreCase(n, name))
            return true;
        found = value;
        return false;
    });
    return found;
}

std::vector<std::pair<std::string, std::string>> ProjectParts::ReadComponentAttributes(std::int32_t component)
{
    std::vector<std::pair<std::string, std::string>> all;
    forEachAttribute(component, [&](const std::string& n, const std::string& value) {
        all.emplace_back(n, value);
        return true;
    });
    return all;
}

ProjectParts& ProjectParts::instance()
{
    static ProjectParts parts;
    return parts;
}

void ProjectParts::reset()
{
    projectName_.clear();
    hierarchyName_.clear();
    parts_.clear();
    hasParts_ = false;
    tokens_.clear();
    firstWord_.clear();
}

bool ProjectParts::OpenProjectInfo()
{
    const std::int32_t database = DB_DataBase();
    if (database == 0)
        return false;
    // KernelString stops at the first NUL, which is the cut the name needs.
    projectName_ = text::utf8Left(nameOf(database), kMaxProjectName);
    hierarchyName_ = nameOf(OM_Object(DB_HierarchyMap(), DB_CurHier()));
    return true;
}

bool ProjectParts::appendLayoutComponents(std::int32_t& cursor, std::size_t limit)
{
    const std::int32_t map = DB_LayCompMap();
    bool any = false;
    while (parts_.Count() < limit) {
        const std::int32_t handle = OM_SearchMask(map, &cursor, 0, 0);
        if (handle <= 0)
            break;
        any = true;
        Z_ComponentRecord record {};
        if (L_ReadComponent(handle, &record) == 0)
            continue;
        PartRecord part;
        part.CompName = kernelText(record.name);
        part.PartName = record.device != 0 ? nameOf(D_Device(record.device)) : "none";
        part.Handle = handle;
        parts_.push_back(std::move(part));
    }
    return any;
}

void ProjectParts::CollectLayoutComponents()
{
    parts_.clear();
    hasParts_ = false;
    std::int32_t cursor = OM_GetFirst(DB_LayCompMap());
    appendLayoutComponents(cursor, static_cast<std::size_t>(-1));
    hasParts_ = parts_.Count() >= 1;
}

bool ProjectParts::CollectLayoutBlock(LayoutCursor& cursor, std::size_t limit)
{
    parts_.clear();
    const bool first = !cursor.started;
    if (first) {
        hasParts_ = false;
        cursor.position = OM_GetFirst(DB_LayCompMap());
        cursor.started = true;
    }
    // Entries the kernel cannot read are skipped, so a block is only empty
    // once the map is.
    while (parts_.empty() && appendLayoutComponents(cursor.position, std::max<std::size_t>(limit, 1))) {
    }
    if (first)
        hasParts_ = parts_.Count() >= 1;
    return !parts_.empty();
}

std::size_t ProjectParts::CountLayoutComponents() const
{
    const std::int32_t map = DB_LayCompMap();
    std::int32_t cursor = OM_GetFirst(map);
    std::size_t count = 0;
    for (std::int32_t handle; (handle = OM_SearchMask(map, &cursor, 0, 0)) > 0;) {
        Z_ComponentRecord record {};
        count += L_ReadComponent(handle, &record) != 0;
    }
    return count;
}

namespace
{

// For each mask, the text of the first schematic component of `component`
// that carries a readable text of that mask; "none" where none does. One
// walk over the schematic components serves every mask.
template <std::size_t N>
std::array<std::string, N> componentTexts(
    std::int32_t component, const Z_ComponentRecord& record, const std::array<TextMask, N>& masks)
{
    std::array<std::string, N> texts;
    std::array<bool, N> found {};
    std::size_t left = N;
    for (std::int32_t k = 1; left > 0 && k <= record.schCompCount; ++k) {
        const std::int32_t id = L_GetSchCompId(component, k);
        Z_SchematicRecord schematic {};
        if (id <= 0 || C_ReadComponent(id, &schematic) <= 0)
            continue;
        const std::int32_t array = C_CompTextArray(id);
        for (std::size_t m = 0; m < N; ++m) {
            if (found[m])
                continue;
            const std::int32_t position = OA_SearchMask(array, 1, static_cast<std::int32_t>(masks[m]));
            Z_ItemRecord item {};
            if (position > 0 && I_ReadItem(C_CompText(id, position), &item) != 0) {
                texts[m] = kernelText(item.text);
                found[m] = true;
                --left;
            }
        }
    }
    for (std::size_t m = 0; m < N; ++m)
        if (!found[m])
            texts[m] = "none";
    return texts;
}

} // namespace

void ProjectParts::ReadPartDetails(std::size_t i)
{
    PartRecord& part = parts_[i];
    Z_ComponentRecord record {};
    if (L_ReadComponent(part.Handle, &record) != 0) {
        part.PartName.clear();
        part.Package.clear();
        part.Value.clear();
        if (record.device != 0)
            part.PartName = nameOf(D_Device(record.device));
        if (record.symbol != 0)
            part.Package = nameOf(S_Symbol(record.symbol));
        auto texts = componentTexts<2>(part.Handle, record, { TextMask::Value, TextMask::Description });
        part.Value = std::move(texts[0]);
        part.Description = std::move(texts[1]);
    } else {
        record = Z_ComponentRecord {};
    }
    DeviceAttributes attributes = ParseDeviceText(record.device);
    part.FullName = std::move(attributes.FullName);
    part.Eic = std::move(attributes.Eic);
    part.SimRef = std::move(attributes.SimRef);
}

void ProjectParts::CollectProjectDevices()
{
    parts_.clear();
    hasParts_ = false;
    const std::int32_t map = DB_DeviceMap();
    std::int32_t cursor = OM_GetFirst(map);
    for (;;) {
        const std::int32_t handle = OM_SearchMask(map, &cursor, 0, 0);
        if (handle <= 0)
            break;
        PartRecord part;
        part.PartName = nameOf(OM_Object(map, handle));
        DeviceAttributes attributes = ParseDeviceText(handle);
        part.FullName = std::move(attributes.FullName);
        part.Eic = std::move(attributes.Eic);
        part.SimRef = std::move(attributes.SimRef);
        part.Package = firstWord_;
        part.Handle = handle;
        parts_.push_back(std::move(part));
    }
    hasParts_ = parts_.Count() >= 1;
}

DeviceTextParts SplitDeviceText(std::string_view text)
{
    DeviceTextParts parts;
    const std::string deviceText = text::trimBlanks(std::string(text));
    const std::size_t blank = deviceText.find(' ');
    if (blank == std::string::npos)
        return parts;
    parts.FirstWord = deviceText.substr(0, blank);
    splitTokens(std::string_view(deviceText).substr(blank + 1), parts.Tokens);
    DeviceAttributes& result = parts.Attributes;
    switch (parts.Tokens.Count()) {
    case 3:
        result.SimRef = parts.Tokens[3];
        [[fallthrough]];
    case 2:
        result.Eic = parts.Tokens[2];
        [[fallthrough]];
    case 1:
        result.FullName = parts.Tokens[1];
        break;
    default:
        break; // four or more: the text is not one this editor understands
    }
    return parts;
}

DeviceAttributes ProjectParts::ParseDeviceText(std::int32_t device)
{
    tokens_.clear();
    firstWord_.clear();
    Z_DeviceRecord record {};
    if (D_ReadDevice(device, &record) == 0)
        return {};
    // Most device texts are ASCII but for their separators: those are split
    // where they lie, without a converted copy. (In UTF-8 the separator is
    // the euro sign; the tokens are the same either way.)
    const char* raw = kernelBytes(record.text);
    std::string_view text = raw ? std::string_view(raw) : std::string_view();
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x80; })) {
        const std::size_t from = text.find_first_not_of(' ');
        text = from == std::string_view::npos ? std::string_view() : text.substr(from, text.find_last_not_of(' ') - from + 1);
        const std::size_t blank = text.find(' ');
        if (blank == std::string_view::npos)
            return {};
        firstWord_.assign(text.substr(0, blank));
        const std::string_view rest = text.substr(blank + 1);
        for (std::size_t start = 0;;) {
            const std::size_t sep = rest.find('\x80', start);
            tokens_.push_back(std::string(rest.substr(start, sep == std::string_view::npos ? sep : sep - start)));
            if (sep == std::string_view::npos)
                break;
            start = sep + 1;
        }
        DeviceAttributes result;
        switch (tokens_.Count()) {
        case 3:
            result.SimRef = tokens_[3];
            [[fallthrough]];
        case 2:
            result.Eic = tokens_[2];
            [[fallthrough]];
        case 1:
            result.FullName = tokens_[1];
            break;
        default:
            break; // four or more: the text is not one this editor understands
        }
        return result;
    }
    DeviceTextParts parts = SplitDeviceText(kernelText(record.text));
    tokens_ = std::move(parts.Tokens);
    firstWord_ = std::move(parts.FirstWord);
    return std::move(parts.Attributes);
}

std::string ProjectParts::ReadComponentText(
    std::int32_t component, const Z_ComponentRecord& record, TextMask mask)
{
    return componentTexts<1>(component, record, { mask })[0];
}

void ProjectParts::UpdateDeviceEic(
    const std::string& partName, const std::string& code, MessageSink& messages)
{
    tokens_.clear();
    // A name the kernel's code page cannot hold names no device.
    const auto name = text::utf8ToCp1252(partName);
    const std::int32_t device = name ? OM_FindName(DB_DeviceMap(), name->c_str()) : 0;
    Z_DeviceRecord record {};
    if (D_ReadDevice(device, &record) == 0) {
        show(messages, 14, partName);
        return;
    }
    const std::string deviceText = kernelText(record.text);
    std::string firstWord = deviceText;
    const std::size_t blank = deviceText.find(' ');
    if (blank != std::string::npos) {
        firstWord = deviceText.substr(0, blank);
        splitTokens(std::string_view(deviceText).substr(blank + 1), tokens_);
    }
    while (tokens_.Count() < 2)
        tokens_.push_back(std::string());
    tokens_[2] = code;

    std::string updated = firstWord + ' ';
    for (std::size_t i = 1; i <= tokens_.Count(); ++i) {
        if (i > 1)
            updated += kSeparator;
        updated += tokens_[i];
    }
    // A code the kernel's code page cannot hold cannot be stored: the change
    // is refused like any other.
    const auto encoded = text::utf8ToCp1252(updated);
    if (!encoded || D_ChangeDevice(device, record.library, encoded->c_str()) == 0)
        show(messages, 15, partName);
}

} // namespace rav::kernel
