#include "tests/fake_tree.h"

QByteArray listing_line(char type, qint64 size, const QByteArray& name)
{
    const QByteArray mode = type == 'd' ? "drwxr-xr-x" : (type == 'l' ? "lrwxrwxrwx" : "-rw-r--r--");
    return mode + " 1 owner group " + QByteArray::number(size) + " Mar 15  2024 " + name + "\r\n";
}

FakeTree::Reply FakeTree::early(FakeFtpServer& s, Reply now, std::optional<Reply> chosen)
{
    const Reply at = chosen ? *chosen : replyAt ? replyAt() : Reply::AfterData;
    if (at == now)
        s.reply("226 Transfer complete.\r\n");
    return at;
}

FakeTree::FakeTree(FakeFtpServer& server, QMap<QString, QByteArray> listings)
    : server_(server), listings_(std::move(listings))
{
    server_.scriptLogin();
    server_.onCommand(QStringLiteral("PWD"), [this](FakeFtpServer& s, const QString&) {
        s.reply("257 \"" + cwd_.toUtf8() + "\" is current\r\n");
    });
    server_.onCommand(QStringLiteral("CWD"), [this](FakeFtpServer& s, const QString& line) {
        const QString arg = line.mid(4);
        QString target = arg.startsWith(u'/') ? arg
                                              : (cwd_ == QStringLiteral("/") ? QString() : cwd_) + u'/' + arg;
        if (!listings_.contains(target)) {
            s.reply("550 No such directory.\r\n");
            return;
        }
        cwd_ = target;
        s.reply("250 CWD ok.\r\n");
    });
    server_.onCommand(QStringLiteral("CDUP"), [this](FakeFtpServer& s, const QString&) {
        const qsizetype cut = cwd_.lastIndexOf(u'/');
        cwd_ = cut > 0 ? cwd_.left(cut) : QStringLiteral("/");
        s.reply("250 CDUP ok.\r\n");
    });
    const auto full = [this](const QString& name) {
        return (cwd_ == QStringLiteral("/") ? QString() : cwd_) + u'/' + name;
    };
    server_.onCommand(QStringLiteral("RETR"), [this, full](FakeFtpServer& s, const QString& line) {
        if (fault && fault(s, line))
            return;
        const QString path = full(line.mid(5));
        if (!files.contains(path)) {
            s.reply("550 No such file.\r\n");
            return;
        }
        s.reply("150 Opening BINARY mode data connection.\r\n");
        const qint64 from = std::exchange(rest_, 0);
        const Reply at = early(s, Reply::BeforeConnect);
        if (!s.connectData())
            return;
        early(s, Reply::BeforeData, at);
        retrieved << path;
        s.sendData(files.value(path).mid(from));
        s.waitDataClosed();
        early(s, Reply::AfterData, at);
    });
    const auto store = [this, full](FakeFtpServer& s, const QString& line) {
        if (fault && fault(s, line))
            return;
        const QString path = full(line.mid(5));
        // APPE adds to the end; STOR after REST keeps what is before it.
        const qint64 keep = line.startsWith(QStringLiteral("APPE")) ? files.value(path).size() : std::exchange(rest_, 0);
        s.reply("150 Ok to send data.\r\n");
        const Reply at = early(s, Reply::BeforeConnect);
        if (!s.connectData())
            return;
        early(s, Reply::BeforeData, at);
        s.waitDataClosed(20000);
        files.insert(path, files.value(path).left(keep) + s.receivedData());
        stored << path;
        early(s, Reply::AfterData, at);
    };
    server_.onCommand(QStringLiteral("STOR"), store);
    server_.onCommand(QStringLiteral("APPE"), store);
    server_.onCommand(QStringLiteral("REST"), [this](FakeFtpServer& s, const QString& line) {
        rest_ = line.mid(5).toLongLong();
        s.reply("350 Restarting.\r\n");
    });
    server_.onCommand(QStringLiteral("MKD"), [this, full](FakeFtpServer& s, const QString& line) {
        const QString path = full(line.mid(4));
        if (listings_.contains(path)) {
            s.reply("550 Exists.\r\n");
            return;
        }
        listings_.insert(path, QByteArray());
        made << path;
        s.reply("257 \"" + path.toUtf8() + "\" created\r\n");
    });
    server_.onCommand(QStringLiteral("LIST"), [this](FakeFtpServer& s, const QString& line) {
        if (fault && fault(s, line))
            return;
        s.reply("150 Here comes the listing.\r\n");
        const Reply at = early(s, Reply::BeforeConnect);
        if (!s.connectData())
            return;
        early(s, Reply::BeforeData, at);
        s.sendData(listings_.value(cwd_));
        s.waitDataClosed();
        ++served_;
        early(s, Reply::AfterData, at);
    });
}
