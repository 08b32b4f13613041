// Device texts, as the editor splits them (first word, tokens, attributes)
// and as the project sources read and write them. Where the readable form
// holds a text, writing it back gives the same text.
#include "fuzz_support.h"
#include "project_model.h"
#include "project_parts.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const rav::kernel::DeviceTextParts parts = rav::kernel::SplitDeviceText(text);
    rav::fuzz::check(parts.FirstWord.find(' ') == std::string::npos, "first word holds a blank");
    rav::fuzz::check(parts.Tokens.Count() >= 1 || parts.FirstWord.empty(), "first word without tokens");
    if (parts.Tokens.Count() >= 1 && parts.Tokens.Count() <= 3)
        rav::fuzz::check(parts.Attributes.FullName == parts.Tokens[1], "full name is not token 1");

    rav::project::Device device;
    rav::project::splitDeviceText(text, device);
    rav::fuzz::check(rav::project::deviceText(device) == text, "device text changed by a round trip");
    return 0;
}
