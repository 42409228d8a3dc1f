#pragma once

#include <QString>

#include <stdexcept>

// An error that ends a handler and goes to the general error display. It
// carries the operator's text as it is to be shown.
class StationError : public std::runtime_error
{
public:
    explicit StationError(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text)
    {}
    const QString &text() const noexcept { return m_text; }

private:
    QString m_text;
};
