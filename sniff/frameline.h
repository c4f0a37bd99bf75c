#pragma once

#include "sniff/framesplitter.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace sniff
{

// The bytes as two upper-case hex digits each, separated by spaces.
QString hexText(const QByteArray &bytes);

// A short decode: what a frame asks or answers ("read holding registers 0000, 2 registers";
// "2 registers: 10 11"; "exception 02 illegal data address"), how it pairs ("answers #1 after
// 4.2 ms", "no request waiting", "#3 got no response") and a wrong CRC with the one expected.
// Lines are counted from 1: item index 0 is #1.
QString frameSummary(const SplitItem &item);

// One line of text per item: "#<line> <time> <direction> <address> <function> <summary> |
// <hex>", the address and function as two hex digits ("--" for noise), the time local with
// microseconds. Ends with a line feed.
QByteArray textLine(const SplitItem &item, std::chrono::system_clock::time_point when);

// One JSON object per item and line: line (from 1), time (ISO 8601, UTC, microseconds),
// direction ("request", "response" or "noise"), then for a frame address, function (numbers),
// crc ("good" or "bad"), hex, and where they apply request (the line of the request a response
// answers, null for a response that none was waiting for), response_ms, exception (the code),
// unanswered (the line of a request that this one proves unanswered) and summary.
QByteArray jsonLine(const SplitItem &item, std::chrono::system_clock::time_point when);

} // namespace sniff
