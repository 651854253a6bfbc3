#pragma once
// Test entry points: like QTEST_MAIN and QTEST_GUILESS_MAIN, but with Qt's
// hash seed fixed first, so that documents serialize to the same bytes in
// every run (QDomDocument orders attributes by QHash), and, with widgets, a
// watch on boxes left without an answer.

#include "modal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHash>
#include <QTest>

#define VELMO_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        qSetGlobalQHashSeed(0);                                                                              \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        QTEST_DISABLE_KEYPAD_NAVIGATION                                                                      \
        watchUnansweredBoxes();                                                                              \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

#define VELMO_TEST_GUILESS_MAIN(TestObject)                                                                  \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        qSetGlobalQHashSeed(0);                                                                              \
        QCoreApplication app(argc, argv);                                                                    \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
