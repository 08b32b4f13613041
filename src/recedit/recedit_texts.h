// Texts of the record editor and its tool box: a message looked up by its
// id, with numbered places (%1, %2, ...) filled after the look-up so that a
// translation may put the variable parts where its grammar wants them.
#pragma once

#include <initializer_list>
#include <string>

namespace rav::recedit
{

std::string LocalText(const char* english, const char* id, std::initializer_list<std::string> args = {});

} // namespace rav::recedit
