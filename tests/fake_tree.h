// A small directory tree served by the fake FTP server: CWD, CDUP, PWD and
// LIST answer from it, so navigation can be followed end to end.
#pragma once
#include <QMap>
#include <QStringList>
#include <functional>
#include <optional>

#include "tests/fake_ftp_server.h"

class FakeTree {
public:
    // listings: path -> LIST text (lines with CR LF)
    explicit FakeTree(FakeFtpServer& server, QMap<QString, QByteArray> listings);
    QString cwd() const { return cwd_; }
    int listings() const { return served_; }
    // Files RETR sends and STOR stores, by full path ("/pub/a.txt").
    QMap<QString, QByteArray> files;
    QStringList retrieved;   // full paths in the order they were fetched
    QStringList stored;
    QStringList made;        // MKD, full paths; each becomes an empty folder
    // Asked first for every LIST, RETR and STOR line; returning true means it
    // has answered the command itself (a refusal, a cut connection ...).
    std::function<bool(FakeFtpServer&, const QString& line)> fault;
    // When LIST, RETR and STOR get their "226": after the data (unset), or,
    // as some servers do, at once, before the data connection is made or
    // once it is made but before its data.
    enum class Reply { AfterData, BeforeConnect, BeforeData };
    std::function<Reply()> replyAt;

private:
    // Sends "226" when now is the chosen moment; chooses on the first call.
    Reply early(FakeFtpServer& s, Reply now, std::optional<Reply> chosen = std::nullopt);
    FakeFtpServer& server_;
    QMap<QString, QByteArray> listings_;
    QString cwd_ = QStringLiteral("/");
    qint64 rest_ = 0;        // REST: where the next RETR, STOR starts
    int served_ = 0;
};

// One Unix long-listing line with a fixed year, so no test depends on today.
QByteArray listing_line(char type, qint64 size, const QByteArray& name);
