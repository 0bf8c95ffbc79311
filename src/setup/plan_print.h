// The run's plan as a reader sees it ("/plan"): what each application's run installs, replaces,
// keeps, removes and writes, as text for a person or as JSON for management tools. Printing
// reads the plan and the disk and changes nothing.
#pragma once

#include <string>
#include <string_view>

#include "setup/plan.h"

namespace valise::setup {

class TSetupDataModule;
class TSetupFileGroup;

// What installing one planned file does with its destination.
enum class TFileUpdate { New, Replace, Keep };

// Decided as the group's update method decides it when the file is copied: a baggage member
// always replaces; a file from the disk is new where nothing is, else replaced or kept by the
// group's method (version, date, always, never).
TFileUpdate PlannedUpdate(const TSetupFileGroup& group, const TPlannedFile& file);

// The plan in a stable order: applications as the run takes them, then the drives.
std::string PlanText(const TSetupDataModule& setup, const TSetupPlan& plan);
std::string PlanJson(const TSetupDataModule& setup, const TSetupPlan& plan);

// A JSON string with its quotes. Bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

// Writes the plan to `file` (JSON when its name ends in ".json", without regard to case, else
// text), or to standard output when `file` is empty. Throws Error naming the file when it
// cannot be written.
void WritePlan(const TSetupDataModule& setup, const TSetupPlan& plan, const std::string& file);

}  // namespace valise::setup
