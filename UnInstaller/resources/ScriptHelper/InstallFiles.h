#pragma once

#include "UnInstaller/resources/ScriptHelper/Receipt.h"
#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <optional>
#include <string>
#include <vector>

namespace scripthelper {

/// The file work of installing and of removal by receipt, done relative to open folders reached
/// from "/" one component at a time without following a symbolic link, so that no link, on the
/// way or inside a tree, leads the work anywhere else.
class InstallFiles {
public:
    /// Opens the folder at path. With create, missing folders are made (mode 0755), each appended
    /// to *created, outermost first. An invalid descriptor with *error set otherwise.
    static UniqueFd openFolder(const std::string& path, bool create, std::vector<std::string>* created,
                               std::string* error);

    /// What a folder needs before something is placed in it.
    struct Probe {
        /// The folders to make, outermost first.
        std::vector<std::string> missing;
        /// Why nothing can be placed there with the rights at hand, or none.
        std::optional<std::string> problem;
    };
    static Probe probe(const std::string& folderPath);

    /// Copies the tree sourceName in sourceFolder to targetName in targetFolder (which must not
    /// exist), recording every item as it will stand once the copy is at finalPath.
    static bool copyTree(int sourceFolder, const std::string& sourceName, int targetFolder,
                         const std::string& targetName, const std::string& finalPath, unsigned long owner,
                         bool userSide, std::vector<Receipt::Item>* items, std::string* error);

    /// Removes the file, link or tree name in folder; a missing one is removed already.
    static bool removeTree(int folder, const std::string& name, std::string* error);

    /// Whether anything (a link included) is at name in folder.
    static bool exists(int folder, const std::string& name);

    /// The CFBundleIdentifier of the bundle name in folder (Contents/Info.plist), or none.
    static std::optional<std::string> bundleIdentifier(int folder, const std::string& name);

    /// Why the item at the receipt's path no longer is what the install put there (another kind,
    /// size or checksum, or reached through a link), or none when it is unchanged. *missing is
    /// set when nothing is there.
    static std::optional<std::string> changeFrom(const Receipt::Item& item, bool* missing);

    /// Receipt items as lines of text, to hand from a process of the user's rights back to root.
    static std::string encodeItems(const std::vector<Receipt::Item>& items);
    static std::optional<std::vector<Receipt::Item>> decodeItems(std::string_view text);
};

}  // namespace scripthelper
