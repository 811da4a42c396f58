#include "foundation/storage/FileNameSanitizer.h"

#include <QTest>

class FileNameSanitizerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replacesEachUnsafeCharacter_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("path separators") << QStringLiteral("a/b:c\\d") << QStringLiteral("a_b_c_d");
        QTest::newRow("each character once") << QStringLiteral("a//b") << QStringLiteral("a__b");
        QTest::newRow("line breaks")
            << QStringLiteral("x\ny\r\nz\u2028w\u0085v") << QStringLiteral("x_y__z_w_v");
        QTest::newRow("control and format characters")
            << QStringLiteral("t\tu\u0001v\u200Bw\u007F") << QStringLiteral("t_u_v_w_");
        QTest::newRow("blanks and dots stay")
            << QStringLiteral(" .a b.. ") << QStringLiteral(" .a b.. ");
        QTest::newRow("other scripts stay")
            << QStringLiteral("自定义方案 🎮") << QStringLiteral("自定义方案 🎮");
        QTest::newRow("empty") << QString() << QString();
    }

    void replacesEachUnsafeCharacter() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(sanitizedFileName(name), expected);
    }
};

QTEST_GUILESS_MAIN(FileNameSanitizerTest)
#include "tst_FileNameSanitizer.moc"
