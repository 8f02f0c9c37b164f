#include "window/QtPlatform.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace rz417 {

BoxAnswer QtPlatform::messageBox(const std::string &text, BoxStyle style, const std::string &title,
                                 const std::string &detail)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (style) {
    case BoxStyle::OkStop:
        icon = QMessageBox::Critical;
        break;
    case BoxStyle::YesNoQuestion:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case BoxStyle::OkExclamation:
        icon = QMessageBox::Warning;
        break;
    case BoxStyle::OkInformation:
        icon = QMessageBox::Information;
        break;
    }
    QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(text), buttons,
                    m_parent && m_parent->isVisible() ? m_parent : nullptr);
    box.setTextFormat(Qt::PlainText);
    // The informative text sits under the text, which stays exactly as given.
    if (!detail.empty())
        box.setInformativeText(QString::fromStdString(detail));
    if (style == BoxStyle::YesNoQuestion)
        box.setDefaultButton(QMessageBox::Yes);
    if (m_boxObserver)
        m_boxObserver(true);
    const int answer = box.exec();
    if (m_boxObserver)
        m_boxObserver(false);
    if (answer == QMessageBox::Yes)
        return BoxAnswer::Yes;
    if (answer == QMessageBox::No)
        return BoxAnswer::No;
    return BoxAnswer::Ok;
}

void QtPlatform::diagnostic(const std::string &line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void QtPlatform::endProgram()
{
    endProgram(0);
}

void QtPlatform::endProgram(int status)
{
    if (m_beforeExit)
        m_beforeExit();
    std::fflush(nullptr);
    // At once: no further events, no handler runs after this.
    std::_Exit(status);
}

} // namespace rz417
