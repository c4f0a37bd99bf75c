<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>Form1</name>
    <message>
        <source>通訊埠</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>速率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>協定</source>
        <translation>Framing</translation>
    </message>
    <message>
        <source>開啟</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>關閉</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>傳送資料 (HEX 16進制)</source>
        <translation>Request (hexadecimal)</translation>
    </message>
    <message>
        <source>Adderss</source>
        <translation>Address</translation>
    </message>
    <message>
        <source> Function</source>
        <translation> Function</translation>
    </message>
    <message>
        <source> Register</source>
        <translation> Register</translation>
    </message>
    <message>
        <source> Length</source>
        <translation> Length</translation>
    </message>
    <message>
        <source>CRC</source>
        <translation>CRC</translation>
    </message>
    <message>
        <source>傳送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>接收資料</source>
        <translation>Reply log</translation>
    </message>
    <message>
        <source>時間間隔</source>
        <translation>Reply wait</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>連續傳送</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>OFF</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>接收資料換算</source>
        <translation>Registers</translation>
    </message>
    <message>
        <source>3+4 byte</source>
        <translation>Bytes 3+4</translation>
    </message>
    <message>
        <source>5+6 byte</source>
        <translation>Bytes 5+6</translation>
    </message>
    <message>
        <source>7+8 byte</source>
        <translation>Bytes 7+8</translation>
    </message>
    <message>
        <source>通訊埠編號</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Com1 到 Com16</source>
        <translation>Com1 to Com16</translation>
    </message>
    <message>
        <source>鮑率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>每秒位元數</source>
        <translation>Bits per second</translation>
    </message>
    <message>
        <source>資料格式</source>
        <translation>Framing</translation>
    </message>
    <message>
        <source>同位元、資料位元、停止位元</source>
        <translation>Parity, data bits, stop bits</translation>
    </message>
    <message>
        <source>開啟通訊埠</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>關閉通訊埠</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>傳送資料</source>
        <translation>Request</translation>
    </message>
    <message>
        <source>從站位址</source>
        <translation>Slave address</translation>
    </message>
    <message>
        <source>功能碼</source>
        <translation>Function code</translation>
    </message>
    <message>
        <source>起始暫存器</source>
        <translation>Start register</translation>
    </message>
    <message>
        <source>暫存器數量</source>
        <translation>Register count</translation>
    </message>
    <message>
        <source>CRC 檢查碼</source>
        <translation>CRC</translation>
    </message>
    <message>
        <source>請求位元組 0，十六進位，2 位數</source>
        <translation>Request byte 0, hexadecimal, 2 digits</translation>
    </message>
    <message>
        <source>請求位元組 1，十六進位，2 位數</source>
        <translation>Request byte 1, hexadecimal, 2 digits</translation>
    </message>
    <message>
        <source>請求位元組 2 與 3，高位元組在前，十六進位，4 位數</source>
        <translation>Request bytes 2 and 3, high byte first, hexadecimal, 4 digits</translation>
    </message>
    <message>
        <source>請求位元組 4 與 5，高位元組在前，十六進位，4 位數</source>
        <translation>Request bytes 4 and 5, high byte first, hexadecimal, 4 digits</translation>
    </message>
    <message>
        <source>請求位元組 6 與 7，依傳送順序，十六進位，由前面的欄位算出，唯讀</source>
        <translation>Request bytes 6 and 7 in the order they are sent, hexadecimal, computed from the fields before it, read only</translation>
    </message>
    <message>
        <source>傳送請求一次並等待回應</source>
        <translation>Sends the request once and waits for the reply</translation>
    </message>
    <message>
        <source>接收紀錄</source>
        <translation>Reply log</translation>
    </message>
    <message>
        <source>每次交換一行：回應的位元組，十六進位</source>
        <translation>One line per exchange: the reply bytes in hexadecimal</translation>
    </message>
    <message>
        <source>等待時間</source>
        <translation>Reply wait</translation>
    </message>
    <message>
        <source>等待時間（毫秒）</source>
        <translation>Reply wait in milliseconds</translation>
    </message>
    <message>
        <source>傳送後等待回應的毫秒數，10 到 10000，十進位</source>
        <translation>Milliseconds to wait for the reply after sending, 10 to 10000, decimal</translation>
    </message>
    <message>
        <source>連續傳送</source>
        <comment>accessible name</comment>
        <translation>Continuous sending</translation>
    </message>
    <message>
        <source>開始連續傳送</source>
        <translation>Start continuous sending</translation>
    </message>
    <message>
        <source>停止連續傳送</source>
        <translation>Stop continuous sending</translation>
    </message>
    <message>
        <source>清空接收紀錄與暫存器值</source>
        <translation>Empties the reply log and the register values</translation>
    </message>
    <message>
        <source>回應暫存器值</source>
        <translation>Reply registers</translation>
    </message>
    <message>
        <source>第一個暫存器</source>
        <translation>First register</translation>
    </message>
    <message>
        <source>第二個暫存器</source>
        <translation>Second register</translation>
    </message>
    <message>
        <source>第三個暫存器</source>
        <translation>Third register</translation>
    </message>
    <message>
        <source>回應位元組 3 與 4，高位元組在前，十進位</source>
        <translation>Reply bytes 3 and 4, high byte first, decimal</translation>
    </message>
    <message>
        <source>回應位元組 5 與 6，高位元組在前，十進位</source>
        <translation>Reply bytes 5 and 6, high byte first, decimal</translation>
    </message>
    <message>
        <source>回應位元組 7 與 8，高位元組在前，十進位</source>
        <translation>Reply bytes 7 and 8, high byte first, decimal</translation>
    </message>
</context>
</TS>
