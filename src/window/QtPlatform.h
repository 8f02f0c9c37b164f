#pragma once

#include "panel/Platform.h"

#include <functional>

class QWidget;

namespace rz417 {

// Message boxes with QMessageBox; program end releases what must be released, then exits.
class QtPlatform : public Platform
{
public:
    explicit QtPlatform(std::function<void()> beforeExit) : m_beforeExit(std::move(beforeExit)) {}

    void setParentWindow(QWidget *window) { m_parent = window; }
    // Told when a box opens (true) and when it closes (false).
    void setBoxObserver(std::function<void(bool)> observer) { m_boxObserver = std::move(observer); }

    BoxAnswer messageBox(const std::string &text, BoxStyle style, const std::string &title,
                         const std::string &detail = {}) override;
    void diagnostic(const std::string &line) override;
    [[noreturn]] void endProgram() override;
    // The same with an exit status of its own: 128 and a signal's number.
    [[noreturn]] void endProgram(int status);

private:
    std::function<void()> m_beforeExit;
    std::function<void(bool)> m_boxObserver;
    QWidget *m_parent = nullptr;
};

} // namespace rz417
