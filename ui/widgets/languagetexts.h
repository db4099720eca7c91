#pragma once
// A window's or page's fixed texts in the two languages: the form's own
// (English) texts and a table of Chinese ones.

#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

class LanguageTexts
{
public:
    using Entry = QPair<QObject*, const char*>; // a widget with a "text" property, its Chinese text (UTF-8)

    // Language 1 shows the table's Chinese texts, any other the form's own.
    // The form's texts are kept on the first call whatever its language, so
    // that switching back restores what the form showed.
    void apply(int language, const Entry* chinese, int count);
    template <int N> void apply(int language, const Entry (&chinese)[N]) { apply(language, chinese, N); }

private:
    bool textsKept = false;
    QVector<QPair<QObject*, QString>> keptTexts;
};
