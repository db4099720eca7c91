#pragma once
// The help page's document view: a text browser painted with antialiasing.

#include <QTextBrowser>

class CustomTextBrowser : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;

protected:
    void paintEvent(QPaintEvent* event) override;
};
