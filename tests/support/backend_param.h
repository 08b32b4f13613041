// Tests that run once per database backend (a SQLite file, a table on the
// test's PostgreSQL server): the suffix of each case's name.
#pragma once

#include "db_types.h"

#include <gtest/gtest.h>

#include <ostream>

namespace rav::db
{
// How gtest prints the parameter (and so how ctest lists the case).
inline void PrintTo(Backend backend, std::ostream* os)
{
    *os << (backend == Backend::Server ? "Server" : "File");
}
} // namespace rav::db

namespace rav::test
{
inline std::string backendName(const ::testing::TestParamInfo<db::Backend>& info)
{
    return info.param == db::Backend::Server ? "Server" : "File";
}
} // namespace rav::test
