#pragma once
// Digits and at most one full stop, for the decimal edits. No sign, exponent
// or separators; the result is only Acceptable or Invalid.

#include <QValidator>

class MyDoubleValidator : public QValidator
{
    Q_OBJECT
public:
    explicit MyDoubleValidator(QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
};
