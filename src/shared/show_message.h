// The catalogue of numbered messages that the shared module shows in a
// message box: a code picks the message id and its default text, and the
// caller's extra text (a part name, a limit) is added after the look-up.
#pragma once

#include "sinks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rav
{

// The message for `code` (1-15 and 100), looked up in the user's language,
// with `extra` appended (or put in front, for code 7: "<name> missing or
// invalid"). Kind Exclamation; `id` is the message id; the title is the
// suite's prefix, the application title and an empty qualifier in
// parentheses ("Dodiv 2000 - List of Material Editor ()").
// Any other code gives nothing: it shows no message.
std::optional<UserMessage> catalogueMessage(int code, const std::string& extra);

// Shows the catalogue message for `code` through `sink`; any other code
// shows nothing. Returns whether a message was shown.
bool ShowMessage(int code, const std::string& extra, MessageSink& sink);

// The title every catalogue message carries.
std::string catalogueMessageTitle();

// The message `id` in the user's language with %1, %2, ... replaced by
// `args` in order, so that a translation may put them where its grammar
// wants them. A number without an argument stays as written.
std::string FormatMessage(const char* defaultText, const char* id, const std::vector<std::string>& args);

// A count with its thousands grouped the way the user's language writes
// them: "300,019" in English, "300.019" in German.
std::string GroupedCount(std::int64_t count);

} // namespace rav
