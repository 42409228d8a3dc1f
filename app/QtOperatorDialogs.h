#pragma once

#include "app/OperatorDialogs.h"

#include <QPointer>

class QWidget;

// The operator dialogs on screen: Qt message boxes and input dialog, modal
// over the main window.
class QtOperatorDialogs final : public OperatorDialogs
{
public:
    void setOwner(QWidget *owner) { m_owner = owner; }

    int messageBox(const QString &text, const QString &caption, int flags) override;
    std::optional<QString> prompt(const QString &caption, const QString &label,
                                  const QString &value) override;
    void beginWaitCursor() override;
    void endWaitCursor() override;

private:
    QPointer<QWidget> m_owner;
};
