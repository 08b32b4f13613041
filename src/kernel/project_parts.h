// What the editor knows about the open project: its identity, the parts it
// collects through the host kernel, and the write-back of an External Index
// Code into a device. The values are process-wide, as the windows and builds
// that share them expect: one ProjectParts serves the whole process.
//
// Everything is read through the kernel's C interface; kernel texts are
// decoded by HostUtility::KernelString and are UTF-8 here. Nothing is shown
// from here: the update reports its two messages through a MessageSink.
// Single-threaded, like the kernel.
#pragma once

#include "one_based_list.h"
#include "sinks.h"
#include "zareza2v.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rav::kernel
{

// One collected part; all texts empty unless set.
struct PartRecord {
    std::string CompName; // component name (layout collection only)
    std::string PartName; // name of the (component's) device
    std::string FullName; // device text token 1
    std::string Eic; // device text token 2, the External Index Code
    std::string SimRef; // device text token 3, the simulation reference
    std::string Package; // symbol name (layout) or device text first word (devices)
    std::string Description; // component text with mask 4 (layout, after ReadPartDetails)
    std::string Value; // component text with mask 8 (layout, after ReadPartDetails)
    std::int32_t Handle = 0; // layout component handle or device handle
    bool operator==(const PartRecord&) const = default;
};

// The three attributes a device text carries.
struct DeviceAttributes {
    std::string FullName;
    std::string Eic;
    std::string SimRef;
    bool operator==(const DeviceAttributes&) const = default;
};

// A device text (UTF-8) taken apart: the first word (what precedes the first
// blank, after trimming), the tokens after it (split at each euro sign) and
// the attributes, which stay empty unless there are one to three tokens. A
// text without blank has neither first word nor tokens.
struct DeviceTextParts {
    std::string FirstWord;
    OneBasedList<std::string> Tokens;
    DeviceAttributes Attributes;
};
DeviceTextParts SplitDeviceText(std::string_view deviceText);


// Masks of the component texts the editor reads. Attribute texts read
// "NAME=VALUE": the part's further properties (a do-not-place marker, a
// supplier's code), as a design tool's fields carry them.
enum class TextMask : std::int32_t { Description = 4, Value = 8, Attribute = 16 };

// Whether an attribute value says yes: not empty, and not "0", "no",
// "false" or "n" (any case, blanks around ignored).
bool AttributeIsSet(const std::string& value);

class ProjectParts
{
public:
    static ProjectParts& instance();

    // Reads ProjectName and HierarchyName; false (identity unchanged) when
    // no project is open.
    bool OpenProjectInfo();

    // One record per layout component (CompName, PartName - "none" without
    // device - and Handle), in the kernel's order; sets HasParts.
    void CollectLayoutComponents();
    // The layout collection a block at a time, for a build that needs each
    // record only until it has used it: a project of 100k parts would
    // otherwise hold 100k records at once. `cursor` starts at
    // LayoutCursor(); each call empties PartList and fills it with the
    // records of the next components, at most `limit` (at least 1), exactly
    // as CollectLayoutComponents would. False when no component was left.
    // The first call sets HasParts, later ones keep it.
    struct LayoutCursor {
        std::int32_t position = -1; // the kernel's map cursor; -1: not started
        bool started = false;
    };
    bool CollectLayoutBlock(LayoutCursor& cursor, std::size_t limit);
    // How many records CollectLayoutComponents would give, without
    // collecting them.
    std::size_t CountLayoutComponents() const;
    // Completes record i (1-based) of a layout collection: PartName (empty
    // without device), FullName, Eic, SimRef, Package, Description, Value.
    // Throws std::out_of_range for an index outside PartList.
    void ReadPartDetails(std::size_t i);
    // One complete record per device of the project; sets HasParts.
    void CollectProjectDevices();

    // Reads a device and splits its text into FirstWord and DeviceTokens;
    // the attributes are empty unless the text has one to three tokens.
    DeviceAttributes ParseDeviceText(std::int32_t device);
    // The text with `mask` of the first schematic component of `component`
    // that has one; "none" when none has.
    std::string ReadComponentText(std::int32_t component, const Z_ComponentRecord& record, TextMask mask);
    // The value of the first attribute text "NAME=VALUE" of a layout
    // component whose name equals `name` without regard to ASCII case;
    // empty when it has none.
    std::string ReadComponentAttribute(std::int32_t component, const std::string& name);
    // Every attribute text of a layout component as (NAME, VALUE), in order.
    std::vector<std::pair<std::string, std::string>> ReadComponentAttributes(std::int32_t component);

    // Stores `code` as token 2 of the text of the device named `partName`
    // (keeping the first word and every other token). Message 14 when there
    // is no such device, 15 when the kernel refuses the change.
    void UpdateDeviceEic(const std::string& partName, const std::string& code, MessageSink& messages);

    const std::string& ProjectName() const { return projectName_; }
    const std::string& HierarchyName() const { return hierarchyName_; }
    OneBasedList<PartRecord>& PartList() { return parts_; }
    const OneBasedList<PartRecord>& PartList() const { return parts_; }
    bool HasParts() const { return hasParts_; }
    // The tokens of the last device text parsed or updated.
    const OneBasedList<std::string>& DeviceTokens() const { return tokens_; }
    // The first word of the last device text parsed; empty when it could not
    // be read or had no blank.
    const std::string& FirstWord() const { return firstWord_; }

    // Forgets everything (identity, parts, tokens), as at process start.
    void reset();

private:
    ProjectParts() = default;
    // Appends the records of the components from `cursor` on, at most
    // `limit`; false when the map had none left.
    bool appendLayoutComponents(std::int32_t& cursor, std::size_t limit);
    std::string projectName_;
    std::string hierarchyName_;
    OneBasedList<PartRecord> parts_;
    bool hasParts_ = false;
    OneBasedList<std::string> tokens_;
    std::string firstWord_;
};

} // namespace rav::kernel
