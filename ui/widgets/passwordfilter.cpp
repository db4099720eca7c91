#include "ui/widgets/passwordfilter.h"

#include "ui/widgets/noticebox.h"

#include <QDateTime>
#include <QDebug>
#include <QEvent>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {

// The service password. Whatever is typed into the dialog is compared here
// and never written anywhere.
const QString kServicePassword = QStringLiteral("vbnq20191105");

const char kIconPath[] = ":/logo.ico";

} // namespace

PasswordFilter::PasswordFilter(QObject* parent, qint64 timeout)
    : QObject(parent), timeout(timeout), clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

PasswordFilter::~PasswordFilter() = default;

void PasswordFilter::setClock(Clock c)
{
    clock = c ? std::move(c) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); });
}

bool PasswordFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !qobject_cast<QLineEdit*>(watched))
        return QObject::eventFilter(watched, event);

    qDebug() << "unlocked:" << (unlocked ? "true" : "false");
    if (unlocked && clock() - unlockTime < timeout)
        return false;

    openPasswordDialog();
    return true;
}

void PasswordFilter::openPasswordDialog()
{
    auto* dialog = new QInputDialog;
    dialog->setWindowTitle(QStringLiteral("验证密码"));
    dialog->setLabelText(QStringLiteral("请输入密码:"));
    dialog->setTextEchoMode(QLineEdit::Password);
    dialog->setWindowIcon(QIcon(QLatin1String(kIconPath)));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog](int) { onPasswordEntered(dialog); });
    dialog->open();
}

void PasswordFilter::onPasswordEntered(QInputDialog* dialog)
{
    // Runs however the dialog was closed; only the text decides.
    if (dialog->textValue() == kServicePassword) {
        unlocked = true;
        unlockTime = clock();
        qDebug() << "unlocked:" << "true";
        return;
    }
    openNoticeBox(QMessageBox::NoIcon, QStringLiteral("错误"), QStringLiteral("密码错误，无法输入！"),
                  dialog->windowIcon());
}
