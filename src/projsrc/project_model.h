// A project as plain values: what a ".dpz" file holds, in the readable form
// that the JSON sources use. All texts here are UTF-8; they become
// Windows-1252 only inside the file.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rav::project
{

// A failure to read, check or write a project; the message names the place
// ("devices[3].tokens[1]") or the file, and what is wrong.
class ProjectError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct TextItem {
    int mask = 0; // 4: description, 8: value; other bits are free
    std::string text;
    bool operator==(const TextItem&) const = default;
};

// One gate of a placed part, with the texts attached to it.
struct SchematicComponent {
    std::vector<TextItem> texts;
    bool operator==(const SchematicComponent&) const = default;
};

// The device text in readable form. Stored, it is `firstWord`, then, when
// `tokens` is present, one blank and the tokens joined by the separator byte
// 0x80. Every stored text has exactly one such form: `firstWord` is what
// precedes the first blank (so it holds no blank), and a text without blank
// has no tokens at all. The separator is the euro sign in UTF-8, so a token
// cannot contain "€".
struct Device {
    std::string name; // unique in the project
    std::string library;
    std::string firstWord;
    std::optional<std::vector<std::string>> tokens;
    bool operator==(const Device&) const = default;
};

struct Component {
    std::string name;
    std::string symbol; // name of a symbol of the project; empty: none
    std::string device; // name of a device of the project; empty: none
    std::vector<SchematicComponent> schematic;
    bool operator==(const Component&) const = default;
};

struct Project {
    std::string name;
    std::vector<std::string> hierarchies;
    std::optional<std::size_t> currentHierarchy; // index into hierarchies
    std::vector<std::string> symbols; // unique names
    std::vector<Device> devices;
    std::vector<Component> components;
    std::map<std::string, std::string> strings; // the kernel's string table
    bool helpFollow = false; // system table 12, byte 2044
    bool operator==(const Project&) const = default;
};

// The device text of `device` as UTF-8 ("R0603 10k€RES-0603-10K").
std::string deviceText(const Device& device);
// The readable form of a device text given as UTF-8.
void splitDeviceText(const std::string& text, Device& device);

// JSON source <-> project. parseJson throws ProjectError naming the place of
// the first mistake; toJson gives indented JSON that parseJson reads back to
// an equal project.
Project parseJson(const std::string& json);
std::string toJson(const Project& project);

// Checks the project (references, unique names, texts that Windows-1252 can
// hold, device text form and length) and writes it as a new project file,
// replacing `file` only once the new file is complete. Throws ProjectError.
void writeDpz(const Project& project, const std::filesystem::path& file);

// Reads a project file back; throws ProjectError for a missing, foreign or
// damaged file.
Project readDpz(const std::filesystem::path& file);

} // namespace rav::project
