// The readable text description of a table, from which `valise adb build` builds a table and
// into which `valise adb dump` turns one back. The format is described in description.cpp.
#pragma once

#include <string>
#include <string_view>

#include "adb/adb_writer.h"
#include "adb/table.h"

namespace valise::adb {

// Parses a description into a builder. A malformed description throws valise::Error with a
// message that begins with "line N: ".
TableBuilder ParseDescription(std::string_view text);

// How a description gives a value. Exact: the text that builds the stored bytes again, byte for
// byte, or raw"..." where no other text does (a string field whose unused bytes hold old
// content, say). Values: the value as the table's reader gives it (the string as read, the
// number), raw"..." only for fields without a value form; building it may give other bytes
// where the table holds bytes that carry no value.
enum class DescribeMode { Exact, Values };

// Describes an open table: fields and every record, text decoded with `codePage`. In the exact
// mode, building the description gives the same table bytes for any table the writer made.
// Moves the table's current record.
std::string DescribeTable(TATable& table, unsigned codePage = 1252,
                          DescribeMode mode = DescribeMode::Exact);

}  // namespace valise::adb
