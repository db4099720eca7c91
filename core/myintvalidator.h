#pragma once
// Digits only, for the whole-number edits. Ranges and empty texts are the
// reading page's business, so the result is only Acceptable or Invalid.

#include <QValidator>

class MyIntValidator : public QValidator
{
    Q_OBJECT
public:
    explicit MyIntValidator(QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
};
