#pragma once
// The folders a walk that follows links has entered, so that it enters each real folder once
// however many links lead to it (a link back up the tree would otherwise never end).
#include "foundation/os_files.h"

#include <filesystem>
#include <optional>
#include <set>

namespace qtr {

class EnteredFolders {
public:
    // The walk starts at root, which counts as entered.
    explicit EnteredFolders(const std::filesystem::path& root);
    // Where the walk's root really is: the parent location of its entries.
    const std::filesystem::path& rootLocation() const { return rootLocation_; }
    // The location of a subfolder of the folder at parentLocation when the walk enters it for the
    // first time; nothing when the walk has been there already. Only a link costs a question to
    // the system: any other folder is where its parent is, under its own name. A link that cannot
    // be resolved is entered where it stands.
    std::optional<std::filesystem::path> enter(const std::filesystem::path& parentLocation, const FolderEntry& entry);

private:
    std::filesystem::path rootLocation_;
    // As the system's strings: a path compares part by part, taking it apart on every compare.
    std::set<std::filesystem::path::string_type> entered_;
};

} // namespace qtr
