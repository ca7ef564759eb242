#pragma once

class Folder;
class ModelContext;
class QWidget;

// What the user can do to a folder from the sidebar and the menus.
namespace FolderActions {

// Deletes the folder with its sub-folders; their items stay, unfiled. While
// "Confirm Before Delete" is on (the default) a folder that holds sub-folders
// or items is deleted only after the user agrees to a question that says how
// many items become unfiled and how many sub-folders go; an empty folder goes
// at once. Returns whether it was deleted.
bool deleteFolder(ModelContext& context, Folder& folder, QWidget* parent);

} // namespace FolderActions
