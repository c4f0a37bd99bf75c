#pragma once

#include "app/form1.h"
#include "app/language.h"
#include "support/fakeserialcomm.h"

#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <memory>

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

// The language the window tests run in: English when WIRELARK_TEST_LANGUAGE is "en", else the
// designed Traditional Chinese. Its translation is installed before the first window is made.
inline Language windowLanguage()
{
    static const Language language = [] {
        const bool english = qEnvironmentVariable("WIRELARK_TEST_LANGUAGE") == QLatin1String("en");
        const Language chosen = english ? Language::English : Language::TraditionalChinese;
        if (!installTranslation(chosen))
            qFatal("the translation cannot be loaded");
        return chosen;
    }();
    return language;
}

// The base of the window tests: one window at a time, its controls by name, the warnings it
// showed. Tests derive from it and call openWindow() in init() and closeWindow() in cleanup().
class WindowFixture : public QObject
{
protected:
    // Makes the window over `comm`, or over a fake serial component (then m_comm) when none is
    // given, on a machine that reports `ports`; shows it unless told not to.
    void openWindow(std::unique_ptr<serial::SerialComm> comm = nullptr,
                    const QList<serial::MappedPort> &ports = {}, bool show = true,
                    transaction::ExchangeObserver *observer = nullptr)
    {
        m_comm = nullptr;
        windowLanguage();
        if (!comm) {
            auto fake = std::make_unique<FakeSerialComm>();
            m_comm = fake.get();
            comm = std::move(fake);
        }
        m_form = std::make_unique<Form1>(
            Form1Services{std::move(comm), [ports] { return ports; }, observer});
        m_form->setWarningPresenter([this](const QString &text) { m_warnings << text; });
        if (show) {
            m_form->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        }
    }
    // Shows the window and makes it the active one, as focus and key tests need: with no window
    // manager a shown window is not active by itself.
    void activateWindow()
    {
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void closeWindow()
    {
        m_form.reset();
        m_comm = nullptr;
        m_warnings.clear();
    }

    // A control of the window by its name; ends the test program when it is missing.
    template <typename W = QWidget> W *control(const QString &name) const
    {
        W *w = m_form->findChild<W *>(name);
        if (!w)
            qFatal("no control named %s", qPrintable(name));
        return w;
    }
    QPushButton *button(const QString &name) const { return control<QPushButton>(name); }
    QLineEdit *field(const QString &name) const { return control<QLineEdit>(name); }
    QStringList shownReadouts() const
    {
        return {field("txtreg0")->text(), field("txtreg1")->text(), field("txtreg2")->text()};
    }

    std::unique_ptr<Form1> m_form;
    FakeSerialComm *m_comm = nullptr; // the fake under the window, when there is one
    QStringList m_warnings;
};
