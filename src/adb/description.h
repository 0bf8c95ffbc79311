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

// Describes an open table: fields and every record, text decoded with `codePage`. Building the
// description gives the same table bytes for any table the writer made. Moves the table's
// current record.
std::string DescribeTable(TATable& table, unsigned codePage = 1252);

}  // namespace valise::adb
