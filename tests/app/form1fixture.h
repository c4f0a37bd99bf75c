#pragma once

#include "app/form1.h"
#include "support/fakeserialcomm.h"

#include <QWidget>
#include <memory>

// A window on a fake serial component, on a machine that reports no serial ports.
inline std::unique_ptr<Form1> makeForm1(FakeSerialComm **fake = nullptr)
{
    auto comm = std::make_unique<FakeSerialComm>();
    if (fake)
        *fake = comm.get();
    return std::make_unique<Form1>(Form1Services{std::move(comm), [] {
                                                     return QList<serial::MappedPort>{};
                                                 }});
}

// A control of the window by its name; fails the test when it is missing.
template <typename W> W *control(const QWidget &window, const QString &name)
{
    W *w = window.findChild<W *>(name);
    if (!w)
        qFatal("no control named %s", qPrintable(name));
    return w;
}
