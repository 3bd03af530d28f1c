#pragma once

#include "platform/foundation/Types.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// A modal chooser of files or folders; abstract so each UI backend shows its own.
class OpenPanel {
public:
    virtual ~OpenPanel() = default;
    /// A new panel from the current UI backend.
    static std::unique_ptr<OpenPanel> openPanel();

    virtual void setCanChooseDirectories(bool flag) = 0;
    virtual void setCanChooseFiles(bool flag) = 0;
    /// Runs the panel modally; 1 for OK, 0 for Cancel.
    virtual NSInteger runModalForDirectory(const std::optional<std::string>& directory,
                                           const std::optional<std::string>& file,
                                           const std::optional<std::vector<std::string>>& types) = 0;
    /// The chosen path after OK.
    virtual std::string filename() const = 0;
    /// The title of the panel's window; empty leaves the UI's own.
    void setTitle(std::string title) { m_title = std::move(title); }
    const std::string& title() const { return m_title; }

private:
    std::string m_title;
};

}  // namespace platform
