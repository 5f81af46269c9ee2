#pragma once
// The commands that list and maintain locations and categories (cli/cmd_list.cpp, cmd_add.cpp,
// cmd_remove.cpp, cmd_categories.cpp, cmd_add_category.cpp, cmd_rename_category.cpp,
// cmd_remove_category.cpp), for the command table in cli/cli.cpp. They follow the rules of the
// location and category forms and write through the integrity procedures, so a category rename or
// delete carries to its snippets and locations exactly as in the desktop program.

#include <span>

namespace sitedex::cli {

int runList(std::span<char*> args);
int runAdd(std::span<char*> args);
int runRemove(std::span<char*> args);
int runCategories(std::span<char*> args);
int runAddCategory(std::span<char*> args);
int runRenameCategory(std::span<char*> args);
int runRemoveCategory(std::span<char*> args);

}  // namespace sitedex::cli
