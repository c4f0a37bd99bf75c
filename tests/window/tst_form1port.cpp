// The port list, opening and closing, and the enable states they switch, by real clicks on a
// window over a fake serial component.
#include "app/form1.h"
#include "support/fakeserialcomm.h"
#include "window/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using serial::CommError;
using serial::MappedPort;

Q_DECLARE_METATYPE(QList<MappedPort>)

namespace
{

MappedPort port(int number, const char *path, const char *description = "", bool linked = false)
{
    return {number, QLatin1String(path), QLatin1String(description), linked};
}

CommError failure(int number, const char *text)
{
    return CommError::make(number, QLatin1String(text));
}

} // namespace

class TestForm1Port : public WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void startUp();
    void preselection_data();
    void preselection();
    void toolTipsNameTheDevices();

    void everyTransitionByClicks();
    void openSendsTheBoxTexts();
    void portBoxText_data();
    void portBoxText();
    void failedOpenChangesNoFlag_data();
    void failedOpenChangesNoFlag();
    void failedCloseStillEndsClosed();
    void closingAPortTheComponentClosedItself();
    void warningIsAModalExclamationBox();
    void toggleNegatesEachFlag();

private:
    void makeForm(const QList<MappedPort> &ports = {});
    QComboBox *portBox() const { return control<QComboBox>("cboComPort"); }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void typePort(const QString &text) const;
    QStringList portCalls() const;

    QStringList m_stateAtWarning;
};

void TestForm1Port::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestForm1Port::cleanup()
{
    closeWindow();
    m_stateAtWarning.clear();
}

void TestForm1Port::makeForm(const QList<MappedPort> &ports)
{
    openWindow(nullptr, ports);
    m_form->setWarningPresenter([this](const QString &text) {
        m_warnings << text;
        m_stateAtWarning << enableState(*m_form);
    });
    field("txtdelay")->setText(QStringLiteral("10"));
}

void TestForm1Port::typePort(const QString &text) const
{
    QLineEdit *edit = portBox()->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QCOMPARE(portBox()->currentText(), text);
}

QStringList TestForm1Port::portCalls() const
{
    QStringList calls;
    for (const QString &call : std::as_const(m_comm->calls))
        if (call.startsWith(QLatin1String("Settings=")) ||
            call.startsWith(QLatin1String("CommPort=")) ||
            call.startsWith(QLatin1String("PortOpen=")))
            calls << call;
    return calls;
}

void TestForm1Port::startUp()
{
    makeForm();
    QCOMPARE(enableState(*m_form), kPortClosed);
    QCOMPARE(m_comm->calls.mid(0, 3),
             (QStringList{"CommPort=3", "DTREnable=false", "InputMode=1"}));
    QStringList entries;
    for (int i = 0; i < portBox()->count(); ++i)
        entries << portBox()->itemText(i);
    QCOMPARE(entries,
             (QStringList{"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8", "Com9",
                          "Com10", "Com11", "Com12", "Com13", "Com14", "Com15", "Com16"}));
    QCOMPARE(control<QComboBox>("cbospeed")->currentText(), QStringLiteral("9600"));
    QCOMPARE(control<QComboBox>("cboset")->currentText(), QStringLiteral("N,8,1"));
}

void TestForm1Port::preselection_data()
{
    QTest::addColumn<QList<MappedPort>>("ports");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("no device: Com3") << QList<MappedPort>{} << 2 << "Com3";
    QTest::newRow("Com1 then Com4: Com1")
        << QList<MappedPort>{port(1, "/dev/ttyS0"), port(4, "/dev/ttyS3")} << 0 << "Com1";
    QTest::newRow("first Com12, later ones ignored")
        << QList<MappedPort>{port(12, "/dev/ttyS11"), port(2, "/dev/ttyUSB0")} << 11 << "Com12";
    QTest::newRow("a linked port comes first")
        << QList<MappedPort>{port(5, "/dev/pts/3", "", true), port(1, "/dev/ttyS0")} << 4 << "Com5";
    QTest::newRow("Com17 selects nothing, the text stays")
        << QList<MappedPort>{port(17, "/dev/pts/1", "", true), port(1, "/dev/ttyS0")} << -1
        << "ComPort";
    QTest::newRow("Com1234 selects nothing, the text stays")
        << QList<MappedPort>{port(1234, "/dev/pts/1", "", true)} << -1 << "ComPort";
    QTest::newRow("upper-case COM in the description empties the text")
        << QList<MappedPort>{port(2, "/dev/ttyACM0", "USB COM PORT"), port(1, "/dev/ttyS0")} << -1
        << "";
}

void TestForm1Port::preselection()
{
    QFETCH(QList<MappedPort>, ports);
    QFETCH(int, index);
    QFETCH(QString, text);
    makeForm(ports);
    QCOMPARE(portBox()->currentIndex(), index);
    QCOMPARE(portBox()->currentText(), text);
    QCOMPARE(portBox()->count(), 16);
    QCOMPARE(enableState(*m_form), kPortClosed);
}

void TestForm1Port::toolTipsNameTheDevices()
{
    makeForm({port(5, "/dev/pts/3", "", true), port(1, "/dev/ttyUSB0", "FT232R USB UART"),
              port(2, "/dev/ttyS1")});
    const auto tip = [this](int index) {
        return portBox()->itemData(index, Qt::ToolTipRole).toString();
    };
    QCOMPARE(tip(0), QStringLiteral("/dev/ttyUSB0 - FT232R USB UART"));
    QCOMPARE(tip(1), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(tip(2), QStringLiteral("No serial device"));
    QCOMPARE(tip(4), QStringLiteral("/dev/pts/3 - linked as com5"));
    QCOMPARE(portBox()->itemText(4), QStringLiteral("Com5"));
}

void TestForm1Port::everyTransitionByClicks()
{
    makeForm();
    QCOMPARE(enableState(*m_form), kPortClosed);

    click("cmdopen");
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    QVERIFY(m_comm->open);

    click("cont_on");
    QCOMPARE(enableState(*m_form), kContinuous);
    click("cmdclose"); // disabled: nothing happens
    click("cmdopen");
    QCOMPARE(enableState(*m_form), kContinuous);
    QVERIFY(m_comm->open);

    click("cont_off");
    QCOMPARE(enableState(*m_form), kPortOpenIdle);

    click("cmdtr"); // one transaction; the flags stay
    QCOMPARE(enableState(*m_form), kPortOpenIdle);

    click("cmdclose");
    QCOMPARE(enableState(*m_form), kPortClosed);
    QVERIFY(!m_comm->open);

    click("cmdopen");
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    QVERIFY(m_warnings.isEmpty());
    QCOMPARE(portCalls().filter(QStringLiteral("PortOpen=")),
             (QStringList{"PortOpen=true", "PortOpen=false", "PortOpen=true"}));
}

void TestForm1Port::openSendsTheBoxTexts()
{
    makeForm();
    m_comm->calls.clear();
    click("cmdopen");
    QCOMPARE(portCalls(), (QStringList{"Settings=9600,N,8,1", "CommPort=3", "PortOpen=true"}));

    click("cmdclose");
    control<QComboBox>("cbospeed")->setCurrentIndex(10);
    control<QComboBox>("cboset")->setCurrentIndex(0);
    m_comm->calls.clear();
    click("cmdopen");
    QCOMPARE(portCalls(), (QStringList{"Settings=115200,E,7,1", "CommPort=3", "PortOpen=true"}));
}

void TestForm1Port::portBoxText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("Com12") << "Com12" << 12;
    QTest::newRow("12") << "12" << 12;
    QTest::newRow("Com16") << "Com16" << 16;
    QTest::newRow("Com40 (beyond the list)") << "Com40" << 40;
}

void TestForm1Port::portBoxText()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    makeForm();
    typePort(text);
    click("cmdopen");
    QVERIFY(m_warnings.isEmpty());
    QCOMPARE(m_comm->port, qint16(port));
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
}

void TestForm1Port::failedOpenChangesNoFlag_data()
{
    const char *openMessage = "Com3: no such serial port on this machine.";
    const char *settingsMessage = "The settings are not valid.";
    const QString conversion =
        QStringLiteral("\"COM12\" is not a port name. Write Com and the port number, for "
                       "example Com3.");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("failSettings");
    QTest::addColumn<bool>("failPort");
    QTest::addColumn<bool>("failOpen");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("settings refused, the port opened and is closed again")
        << "Com3" << true << false << false << settingsMessage
        << QStringList{"Settings=9600,N,8,1", "CommPort=3", "PortOpen=true", "PortOpen=false"};
    QTest::newRow("open refused") << "Com3" << false << false << true << openMessage
                                  << QStringList{"Settings=9600,N,8,1", "CommPort=3",
                                                 "PortOpen=true"};
    QTest::newRow("COM12 does not convert, the previous port opens and is closed again")
        << "COM12" << false << false << false << conversion
        << QStringList{"Settings=9600,N,8,1", "PortOpen=true", "PortOpen=false"};
    QTest::newRow("COM12 and the open fails too: the last failure is shown")
        << "COM12" << false << false << true << openMessage
        << QStringList{"Settings=9600,N,8,1", "PortOpen=true"};
    QTest::newRow("port number refused")
        << "Com0" << false << true << false << "Port number 0 is out of range."
        << QStringList{"Settings=9600,N,8,1", "CommPort=0", "PortOpen=true", "PortOpen=false"};
    QTest::newRow("every step fails: the open's message")
        << "Com3" << true << true << true << openMessage
        << QStringList{"Settings=9600,N,8,1", "CommPort=3", "PortOpen=true"};
    QTest::newRow("empty port box")
        << "" << false << false << false
        << "\"\" is not a port name. Write Com and the port "
           "number, for example Com3."
        << QStringList{"Settings=9600,N,8,1", "PortOpen=true", "PortOpen=false"};
}

void TestForm1Port::failedOpenChangesNoFlag()
{
    QFETCH(QString, portText);
    QFETCH(bool, failSettings);
    QFETCH(bool, failPort);
    QFETCH(bool, failOpen);
    QFETCH(QString, warning);
    QFETCH(QStringList, calls);
    makeForm();
    if (failSettings)
        m_comm->failures.setSettings =
            failure(CommError::BadSettings, "The settings are not valid.");
    if (failPort)
        m_comm->failures.setCommPort =
            failure(CommError::BadPortNumber, "Port number 0 is out of range.");
    if (failOpen)
        m_comm->failures.open =
            failure(CommError::NoSuchPort, "Com3: no such serial port on this machine.");
    typePort(portText);
    m_comm->calls.clear();

    click("cmdopen");
    QCOMPARE(m_warnings, QStringList{warning});
    QCOMPARE(portCalls(), calls);
    QCOMPARE(enableState(*m_form), kPortClosed);
    QVERIFY(!m_comm->open);
    QCOMPARE(portBox()->currentText(), portText);

    // The operator corrects the box and tries again.
    m_comm->failures = {};
    typePort(QStringLiteral("Com4"));
    click("cmdopen");
    QCOMPARE(m_warnings.size(), 1);
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    QCOMPARE(m_comm->port, qint16(4));
}

void TestForm1Port::failedCloseStillEndsClosed()
{
    makeForm();
    click("cmdopen");
    m_comm->failures.close = failure(CommError::WriteFailed, "Com3: the device refused to close.");
    click("cmdclose");
    QCOMPARE(m_warnings, QStringList{"Com3: the device refused to close."});
    // The box came first, then the controls switched.
    QCOMPARE(m_stateAtWarning.value(0), kPortOpenIdle);
    QCOMPARE(enableState(*m_form), kPortClosed);
}

void TestForm1Port::closingAPortTheComponentClosedItself()
{
    makeForm();
    click("cmdopen");
    m_comm->open = false; // for example a lost device
    click("cmdclose");
    QCOMPARE(m_warnings, QStringList{"Port not open"});
    QCOMPARE(enableState(*m_form), kPortClosed);
}

void TestForm1Port::warningIsAModalExclamationBox()
{
    makeForm();
    m_form->setWarningPresenter({});
    m_comm->failures.open =
        failure(CommError::PortInUse, "Com3: /dev/ttyS2 is in use: another program holds it.");
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = QStringLiteral("%1|%2|%3|%4")
                   .arg(box->windowTitle(), box->text())
                   .arg(box->icon() == QMessageBox::Warning ? "warning" : "other")
                   .arg(box->standardButtons() == QMessageBox::Ok ? "ok" : "other");
        box->accept();
    });
    poll.start(20);
    click("cmdopen");
    poll.stop();
    QCOMPARE(seen, QStringLiteral("Wirelark|Com3: /dev/ttyS2 is in use: another program holds "
                                  "it.|warning|ok"));
    QCOMPARE(enableState(*m_form), kPortClosed);
}

void TestForm1Port::toggleNegatesEachFlag()
{
    makeForm();
    for (const char *name : {"cmdclose", "cmdopen", "cboComPort", "cbospeed", "cboset"})
        m_form->findChild<QWidget *>(QLatin1String(name))->setEnabled(true);
    control<QComboBox>("cbospeed")->setEnabled(false);
    m_form->Toggle_port_controls();
    QCOMPARE(enableState(*m_form),
             QStringLiteral("cmdopen:0 cmdclose:0 cboComPort:0 cbospeed:1 "
                            "cboset:0 cmdtr:0 cont_on:0 cont_off:0 interval:0"));
}

QTEST_MAIN(TestForm1Port)
#include "tst_form1port.moc"
