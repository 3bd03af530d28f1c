#include "platform/qt/QtOpenPanel.h"

#include "platform/foundation/SearchPaths.h"
#include "platform/qt/QtFileDialogFit.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtUiScript.h"

#include <QApplication>
#include <QFileDialog>

namespace platform::qt {

NSInteger QtOpenPanel::runModalForDirectory(const std::optional<std::string>& directory,
                                            const std::optional<std::string>& file,
                                            const std::optional<std::vector<std::string>>& types)
{
    const std::string start = directory && !directory->empty() ? *directory : NSHomeDirectory();
    // The title the dialog shows: the one set, or the toolkit's own for the kind of choice.
    const std::string shownTitle = !title().empty() ? title()
        : QCoreApplication::translate("QFileDialog", m_canChooseDirectories ? "Find Directory" : "Open").toStdString();

    if (m_ui.answersPanelsFromList()) {
        std::optional<std::string> answer = m_ui.takeListedPanelAnswer(start, shownTitle);
        if (!answer) {
            return 0;
        }
        m_filename = *answer;
        return 1;
    }

    if (QtUiScript* script = m_ui.script()) {
        std::optional<std::string> answer = script->takePanelAnswer(start, shownTitle);
        if (!answer) {
            return 0;
        }
        m_filename = *answer;
        return 1;
    }

    QFileDialog dialog(QApplication::activeWindow(), QString(), QString::fromStdString(start));
    if (m_canChooseDirectories && !m_canChooseFiles) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else if (m_canChooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (types && !types->empty()) {
            QStringList patterns;
            for (const std::string& type : *types) {
                patterns << QStringLiteral("*.") + QString::fromStdString(type);
            }
            dialog.setNameFilter(patterns.join(QLatin1Char(' ')));
        }
    }
    if (file && !file->empty()) {
        dialog.selectFile(QString::fromStdString(*file));
    }
    if (!title().empty()) {
        dialog.setWindowTitle(QString::fromStdString(title()));
    }
    dialog.setWindowModality(Qt::ApplicationModal);
    QtFileDialogFit::apply(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return 0;
    }
    m_filename = dialog.selectedFiles().constFirst().toStdString();
    return 1;
}

}  // namespace platform::qt
