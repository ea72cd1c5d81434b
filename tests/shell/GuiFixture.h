#pragma once

// A fresh data folder per test, a first-start database in it, and scripted prompts.

#include "shell/Prompt.h"
#include "shell/Resources.h"
#include "shell/udata.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

class GuiFixture
{
public:
    GuiFixture()
    {
        qingheInitResources();
        qputenv("QINGHE_HOME", home.path().toUtf8());
        Prompt::setScripted(true);
        dataModule = std::make_unique<TDataModule2>();
    }

    ~GuiFixture()
    {
        dataModule.reset();
        qunsetenv("QINGHE_HOME");
    }

    Connection& db() { return dataModule->Adocon; }

    qint64 addBook(const QString& name, const QString& status, std::optional<qint64> category = {},
                   const QString& tag = {}, const QByteArray& cover = {})
    {
        RecordSet books(db());
        books.setSql(QStringLiteral("select * from baseshu where 1=0"));
        books.open();
        books.append();
        books.setText(QStringLiteral("name"), name);
        books.setText(QStringLiteral("isread"), status);
        books.setInteger(QStringLiteral("leibie"), category);
        books.setText(QStringLiteral("格式"), tag);
        if (!cover.isEmpty())
            books.setBytes(QStringLiteral("facepic"), cover);
        books.post();
        return *books.asInteger(QStringLiteral("id"));
    }

    qint64 categoryId(const QString& name)
    {
        return db().scalar(QStringLiteral("select id from tblei where leib='%1'").arg(name)).toLongLong();
    }

    QTemporaryDir home;
    std::unique_ptr<TDataModule2> dataModule;
};

inline QByteArray jpegOf(const QColor& colour, int width = 300, int height = 200)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// Types text as the user would, Chinese included (QTest::keyClicks takes ASCII only).
inline void typeText(QWidget* widget, const QString& text)
{
    QVERIFY(widget);
    widget->setFocus();
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
}
