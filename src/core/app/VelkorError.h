#pragma once
#include <QString>
#include <stdexcept>

// An error an operation reports to the user: the message is shown as it stands.
class VelkorError : public std::runtime_error {
public:
    explicit VelkorError(const QString& message)
        : std::runtime_error(message.toStdString()), text_(message) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};
