#include "core/myintvalidator.h"

#include "core/validatorrules.h"

MyIntValidator::MyIntValidator(QObject* parent)
    : QValidator(parent)
{
}

QValidator::State MyIntValidator::validate(QString& input, int& /*pos*/) const
{
    for (const QChar c : qAsConst(input))
        if (!ValidatorRules::isDigitUnit(c))
            return Invalid;
    return Acceptable;
}
