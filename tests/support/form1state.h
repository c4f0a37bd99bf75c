#pragma once

#include "app/form1.h"

#include <QString>
#include <QStringList>
#include <QWidget>

// The enabled flags of the eight controls that follow the port and continuous sending, and the
// timer's interval, as one line that a test compares with the three states below.
inline QString enableState(const Form1 &form)
{
    QStringList parts;
    for (const char *name : {"cmdopen", "cmdclose", "cboComPort", "cbospeed", "cboset", "cmdtr",
                             "cont_on", "cont_off"}) {
        const QWidget *w = form.findChild<QWidget *>(QLatin1String(name));
        parts << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(w && w->isEnabled() ? 1 : 0);
    }
    parts << QStringLiteral("interval:%1").arg(form.timerInterval());
    return parts.join(QLatin1Char(' '));
}

inline const QString kPortClosed =
    QStringLiteral("cmdopen:1 cmdclose:0 cboComPort:1 cbospeed:1 cboset:1 cmdtr:0 cont_on:0 "
                   "cont_off:0 interval:0");
inline const QString kPortOpenIdle =
    QStringLiteral("cmdopen:0 cmdclose:1 cboComPort:0 cbospeed:0 cboset:0 cmdtr:1 cont_on:1 "
                   "cont_off:0 interval:0");
inline const QString kContinuous =
    QStringLiteral("cmdopen:0 cmdclose:0 cboComPort:0 cbospeed:0 cboset:0 cmdtr:0 cont_on:0 "
                   "cont_off:1 interval:1");

// The lines of the receive log, without their CR LF.
inline QStringList logLines(const Form1 &form)
{
    QStringList lines = form.logText().split(QStringLiteral("\r\n"));
    lines.removeLast(); // the text after the last line end
    return lines;
}
