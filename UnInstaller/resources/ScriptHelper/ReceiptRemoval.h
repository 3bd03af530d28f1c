#pragma once

#include "UnInstaller/resources/ScriptHelper/Receipt.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <functional>
#include <string>

namespace scripthelper {

class PathPolicy;

/// Takes away what a module's receipt lists outside its install path (which goes whole): each
/// file and link that is unchanged since the install, then each folder the install made that is
/// then empty, deepest first. Everything else stays and is reported by path as file-kept. Items
/// are removed with the rights of the user who placed them; the root side's only inside the
/// folders where modules may live.
class ReceiptRemoval {
public:
    static void remove(const std::string& id, const Receipt& receipt, const std::string& installPath,
                       const PathPolicy& policy, const std::function<void(const RemovalEvent&)>& emit);
};

}  // namespace scripthelper
