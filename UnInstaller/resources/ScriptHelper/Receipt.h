#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scripthelper {

/// What an install put on disk for one module, kept with the module's registry entry ("Receipt"):
/// every file and folder it created, anywhere, with its size and SHA-256, and the user whose
/// rights created it (0 for the root side), so that removal takes away exactly that and only
/// while it is unchanged.
struct Receipt {
    struct Item {
        enum class Kind { File, Folder, Link };
        std::string path;
        Kind kind = Kind::File;
        std::uint64_t size = 0;
        /// Lower-case hex; the link's target for a link, empty for a folder.
        std::string sha256;
        unsigned long owner = 0;
        /// Placed for the user who asked (removed with that user's rights, wherever it is), not by
        /// the system side inside the folders where modules may live.
        bool userSide = false;
        bool operator==(const Item&) const = default;
    };

    std::vector<Item> items;
    /// Names the install that wrote the receipt; an interrupted install is finished when the
    /// registry holds its token, undone otherwise.
    std::string token;

    platform::PlistValue toPlist() const;
    /// None for anything that is not a receipt's array of complete items.
    static std::optional<std::vector<Item>> itemsFromPlist(const platform::PlistValue& value);

    static const char* kindWord(Item::Kind kind);
};

}  // namespace scripthelper
