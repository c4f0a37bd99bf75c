// The real program closed by its window's close box while a transaction waits.
#include "app/form1.h"
#include "support/slaveprocess.h"
#include "window/windowfixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace
{

// Runs xdotool with the arguments; its standard output, or nullopt when it failed.
std::optional<QString> xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// What a window manager sends when the operator clicks the close box.
bool sendDeleteWindow(xcb_window_t window)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const auto atom = [connection](const char *name) {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so that the server has delivered the event before this returns.
    const xcb_void_cookie_t cookie = xcb_send_event_checked(
        connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
    xcb_generic_error_t *error = xcb_request_check(connection, cookie);
    const bool ok = error == nullptr;
    std::free(error);
    xcb_disconnect(connection);
    return ok;
}

} // namespace

class TestWindowClose : public WindowFixture
{
    Q_OBJECT

private slots:
    void closedDuringAWaitTheProgramEndsAtOnce();
};

void TestWindowClose::closedDuringAWaitTheProgramEndsAtOnce()
{
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    SlaveProcess slave;
    QVERIFY2(slave.start(configHome.path()), "wirelark-slave did not start");

    // Where the buttons are, from the same window built here (never shown).
    openWindow(nullptr, {}, false);
    const auto centre = [this](const char *name) {
        const QWidget *w = control(QLatin1String(name));
        const QPoint p = w->mapTo(m_form.get(), w->rect().center());
        return QStringList{QString::number(p.x()), QString::number(p.y())};
    };

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(WIRELARK_APP_PATH), {});
    QVERIFY(program.waitForStarted(5000));

    const std::optional<QString> found =
        xdotool({"search", "--sync", "--onlyvisible", "--pid", QString::number(program.processId()),
                 "--name", "^Wirelark$"});
    QVERIFY2(found && !found->isEmpty(), "the window did not appear");
    const QString window = found->split(QLatin1Char('\n')).constFirst();
    const auto clickAt = [&](const char *name) {
        return xdotool({"windowraise", window}).has_value() &&
               xdotool(QStringList{"mousemove", "--sync", "--window", window} + centre(name) +
                       QStringList{"click", "1"})
                   .has_value();
    };

    QVERIFY(clickAt("cmdopen"));
    QVERIFY(clickAt("txtdelay"));
    QVERIFY(xdotool({"key", "End", "BackSpace", "BackSpace", "BackSpace", "BackSpace", "BackSpace"})
                .has_value());
    QVERIFY(xdotool({"type", "--delay", "30", "5000"}).has_value());
    QVERIFY(clickAt("cmdtr"));
    QTRY_COMPARE_WITH_TIMEOUT(slave.requests().size(), 1, 5000);
    QTest::qWait(300); // well inside the wait of 5 s

    QElapsedTimer sinceClose;
    sinceClose.start();
    QVERIFY(sendDeleteWindow(xcb_window_t(window.toULong())));
    QVERIFY(program.waitForFinished(3000));
    const qint64 ms = sinceClose.elapsed();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(ms < 500, qPrintable(QStringLiteral("ended %1 ms after the close").arg(ms)));
    QTest::qWait(200);
    QCOMPARE(slave.requests().size(), 1);
}

QTEST_MAIN(TestWindowClose)
#include "tst_windowclose.moc"
