#include "bench/straightforward.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <chrono>

namespace bench
{

void pollingWait(double seconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const std::chrono::duration<double> requested(seconds);
    while (Clock::now() - start < requested)
        QCoreApplication::processEvents();
}

QString byteHexPadded(unsigned char byte)
{
    QString text = QString::number(byte, 16).toUpper();
    while (text.size() < 2)
        text.prepend(QLatin1Char('0'));
    return text;
}

void rewriteAppend(QPlainTextEdit *box, const QString &piece)
{
    box->setPlainText(box->toPlainText() + piece);
}

void appendPerByte(QPlainTextEdit *box, const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            rewriteAppend(box, QStringLiteral(" "));
        rewriteAppend(box, byteHexPadded(static_cast<unsigned char>(bytes.at(i))));
    }
    rewriteAppend(box, QStringLiteral("\n"));
}

} // namespace bench
