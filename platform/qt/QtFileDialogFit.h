#pragma once

#include <QFileIconProvider>

class QFileDialog;

namespace platform::qt {

/// Fits the toolkit's own folder dialog to the language it speaks: the columns of its list as
/// wide as their headers and contents, the sidebar as wide as its places, the dialog wide
/// enough for both, and the type of a folder in the dialog's language. A dialog of the desktop
/// (native) is left alone.
class QtFileDialogFit {
public:
    static void apply(QFileDialog& dialog);

    /// The icon provider that names a folder's type with the file dialog's own translation,
    /// which the toolkit's catalogues carry in more languages than the provider's.
    class FolderTypeProvider : public QFileIconProvider {
    public:
        QString type(const QFileInfo& info) const override;
    };
};

}  // namespace platform::qt
