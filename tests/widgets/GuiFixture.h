#pragma once

// A fresh data folder per test, a first-start database in it, and scripted prompts.

#include "pictures/CoverFixture.h"
#include "data/test_recordset_fixture.h"

#include "widgets/Prompt.h"
#include "widgets/Resources.h"

// Runs before the library is made: the windows need their resources and must never wait on a person.
struct GuiSetup
{
    GuiSetup()
    {
        qingheInitResources();
        Prompt::setScripted(true);
        // The PDF worker is the built program (the test itself knows no --pdf-worker).
        qputenv("QINGHE_PDF_WORKER", QINGHE_PROGRAM);
    }
};

struct GuiFixture : GuiSetup, LibraryFixture
{
};

// Types text as the user would, Chinese included (QTest::keyClicks takes ASCII only).
inline void typeText(QWidget* widget, const QString& text)
{
    QVERIFY(widget);
    widget->setFocus();
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
}
