#include "core/mydoublevalidator.h"

#include "core/validatorrules.h"

MyDoubleValidator::MyDoubleValidator(QObject* parent)
    : QValidator(parent)
{
}

QValidator::State MyDoubleValidator::validate(QString& input, int& /*pos*/) const
{
    if (input.count(QLatin1Char('.')) > 1)
        return Invalid;
    for (const QChar c : qAsConst(input))
        if (c != QLatin1Char('.') && !ValidatorRules::isDigitUnit(c))
            return Invalid;
    return Acceptable;
}
