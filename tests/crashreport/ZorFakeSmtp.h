// A scripted SMTP server for the delivery tests, on the loopback TCP server.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorFakeServer.h"

struct TSmtpScript {
    std::string Ehlo = "250-fake.test\r\n250 SIZE 1000000\r\n";
    std::string EhloAfterTls = "250-fake.test\r\n250 SIZE 1000000\r\n";
    std::string AuthFinal = "235 welcome";
    std::set<std::string> RefusedRecipients;
    bool Silent = false;
    bool ImplicitTls = false;
};

struct TSmtpRecord {
    std::vector<std::string> Commands;
    std::vector<std::string> Messages; // the data of each message, unstuffed
    bool UsedTls = false;
};

// The data as the server hands it on: one leading "." removed from lines.
inline std::string Unstuffed(const std::string& data)
{
    std::string out;
    size_t at = 0;
    while (at <= data.size()) {
        size_t end = data.find("\r\n", at);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(at, end - at);
        if (!line.empty() && line[0] == '.')
            line.erase(0, 1);
        out += line;
        if (end < data.size())
            out += "\r\n";
        at = end + 2;
    }
    return out;
}

inline TFakeTcpServer::THandler SmtpHandler(const TSmtpScript& script, TSmtpRecord& record)
{
    return [&script, &record](TFakeConnection& c) {
        if (script.Silent) {
            std::string line;
            c.ReadLine(line, 2000);
            return;
        }
        bool tls = false;
        if (script.ImplicitTls) {
            if (!c.StartTls())
                return;
            tls = true;
        }
        c.Write("220 fake.test ESMTP\r\n");
        std::string line;
        while (c.ReadLine(line)) {
            record.Commands.push_back(line);
            const std::string upper = UpStrA(line);
            if (upper.rfind("EHLO", 0) == 0) {
                c.Write(tls ? script.EhloAfterTls : script.Ehlo);
            } else if (upper.rfind("HELO", 0) == 0) {
                c.Write("250 fake.test\r\n");
            } else if (upper == "STARTTLS") {
                c.Write("220 go ahead\r\n");
                if (!c.StartTls())
                    return;
                tls = true;
                record.UsedTls = true;
            } else if (upper == "AUTH LOGIN") {
                c.Write("334 VXNlcm5hbWU6\r\n");
                if (!c.ReadLine(line))
                    return;
                record.Commands.push_back(line);
                c.Write("334 UGFzc3dvcmQ6\r\n");
                if (!c.ReadLine(line))
                    return;
                record.Commands.push_back(line);
                c.Write(script.AuthFinal + "\r\n");
            } else if (upper.rfind("RCPT TO:", 0) == 0) {
                c.Write(script.RefusedRecipients.count(line.substr(8)) ? "550 no such user\r\n" : "250 ok\r\n");
            } else if (upper == "DATA") {
                c.Write("354 go on\r\n");
                std::string data;
                if (!c.ReadUntil("\r\n.\r\n", data))
                    return;
                record.Messages.push_back(Unstuffed(data + "\r\n"));
                c.Write("250 queued\r\n");
            } else if (upper == "QUIT") {
                c.Write("221 bye\r\n");
                return;
            } else if (upper.rfind("MAIL FROM:", 0) == 0 || upper == "RSET") {
                c.Write("250 ok\r\n");
            } else {
                c.Write("500 what\r\n");
            }
        }
    };
}

// The bytes of the base64 attachment of a message and its line lengths.
inline std::string AttachmentOf(const std::string& message, std::vector<size_t>* lineLengths = nullptr,
                                const std::string& fileName = "")
{
    const size_t part = message.find("Content-Disposition: attachment" +
                                     (fileName.empty() ? std::string() : "; filename=\"" + fileName + "\""));
    if (part == std::string::npos)
        return "";
    size_t at = message.find("\r\n\r\n", part) + 4;
    std::string bytes;
    for (;;) {
        const size_t end = message.find("\r\n", at);
        if (end == std::string::npos || end == at || message.compare(at, 2, "--") == 0)
            break;
        const std::string line = message.substr(at, end - at);
        if (lineLengths)
            lineLengths->push_back(line.size());
        bytes += Base64DecodeStr(line);
        at = end + 2;
    }
    return bytes;
}

inline bool HasCommand(const TSmtpRecord& record, const std::string& prefix)
{
    for (const std::string& c : record.Commands)
        if (c.rfind(prefix, 0) == 0)
            return true;
    return false;
}
