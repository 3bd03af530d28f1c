#pragma once

namespace oxlade {

/// What the checklist tells the pane that shows it.
class APPViewDelegate {
public:
    virtual ~APPViewDelegate() = default;

    /// Whether the installer's Continue button may be enabled; optional, ignored by default.
    virtual void setNextButtonState(bool enabled) { (void)enabled; }
};

}  // namespace oxlade
