#include "ui/widgets/languagetexts.h"

#include <QVariant>

void LanguageTexts::apply(int language, const Entry* chinese, int count)
{
    if (!textsKept) {
        textsKept = true;
        for (int i = 0; i < count; ++i)
            keptTexts.append({chinese[i].first, chinese[i].first->property("text").toString()});
    }
    if (language == 1) {
        for (int i = 0; i < count; ++i)
            chinese[i].first->setProperty("text", QString::fromUtf8(chinese[i].second));
    } else {
        for (const auto& kept : qAsConst(keptTexts))
            kept.first->setProperty("text", kept.second);
    }
}
