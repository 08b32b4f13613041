// What changed between the LOM files of two revisions of one design, read
// back from our text and CSV forms: parts added, removed or changed (by part
// name, ranges such as "C1-C4" expanded), and per EIC the codes added or
// removed and the quantities that changed.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace rav::lom
{

// A file the diff cannot read or compare, with one line saying why.
struct DiffError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A LOM file as columns and rows. Text LOMs have no header: their columns
// are named "column 1", "column 2", ...
struct LomFileTable {
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
};

// Reads a text LOM (" 1|a|b" lines, any one-character delimiter, a "Do not
// place:" section ignored) or a CSV file with a header row. Throws DiffError
// for XLSX and HTML files and for text it cannot read as either.
LomFileTable ReadLomFile(const std::string& fileName);

// "C1-C3, C7" -> C1, C2, C3, C7.
std::vector<std::string> ExpandPartRanges(const std::string& text);

// The differences, one line each ("added R12: 10k, 0.01", "removed C3",
// "changed R2: Value 10k -> 22k", "quantity RES-10K: 4 -> 5"), then a
// summary line; lines without an EIC are compared by part name, never
// pooled. Only the summary line when the files are equal. Throws DiffError when the files have different columns,
// no column of part names, or no part in common (unrelated files).
std::vector<std::string> DiffLomFiles(const LomFileTable& oldFile, const LomFileTable& newFile);

} // namespace rav::lom
