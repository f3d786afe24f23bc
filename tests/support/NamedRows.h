#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Rows of a parameterised test that carry a `name`: the test is named after the row, and a
// failure prints the row by its name. A file whose rows sit in a namespace of their own brings
// the printer there with `using ::PrintTo;`.
template <typename Row>
requires requires(const Row& row)
{
    std::string(row.name);
}
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

// The name generator for INSTANTIATE_TEST_SUITE_P.
inline constexpr auto RowName = [](const auto& info) { return std::string(info.param.name); };
