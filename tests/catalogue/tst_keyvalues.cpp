// Valve's KeyValues text as Steam writes it, and the errors for text that is not.

#include "keyvalues.h"

#include <QtTest>

class TestKeyValues : public QObject
{
    Q_OBJECT

private slots:
    void readsTokensEscapesCommentsAndDirectives()
    {
        const QByteArray text = "\xEF\xBB\xBF// written by Steam\n"
                                "#include \"other.vdf\"\n"
                                "\"AppState\"\n{\n"
                                "\t\"appID\"\t\t\"620980\" // trailing comment\n"
                                "\tname \"Say \\\"hi\\\"\\tnow\\n\"\n"
                                "\t\"path\"\t\"C:\\\\Games\\\\Steam\\q\"\n"
                                "\t\"UserConfig\" { \"language\" \"\xe4\xb8\xad\xe6\x96\x87\" }\n"
                                "}\n";
        KeyValues root;
        QString error;
        QVERIFY2(KeyValues::parse(text, "a.acf", root, &error), qPrintable(error));
        QCOMPARE(root.children().size(), std::size_t(1));
        const KeyValues* app = root.find("appstate");
        QVERIFY(app);
        QVERIFY(app->isObject());
        QCOMPARE(app->text("APPID"), QString("620980"));
        QCOMPARE(app->text("name"), QString("Say \"hi\"\tnow\n"));
        QCOMPARE(app->text("path"), QString("C:\\Games\\Steam\\q")); // an unknown escape stays as written
        QCOMPARE(app->find("userconfig")->text("language"), QString::fromUtf8("中文"));
        QCOMPARE(app->text("UserConfig"), QString()); // a block has no text
        QCOMPARE(app->find("missing"), nullptr);
    }

    // Only the file's first three bytes may be a byte order mark; a U+FEFF that opens a key or a
    // value is part of it, however many there are, quoted or bare.
    void aByteOrderMarkInsideTheFileIsText()
    {
        const QByteArray mark = "\xEF\xBB\xBF";
        const QByteArray text =
            mark + "\"App\" {\n" + mark + mark + "key " + mark + "bare\n\"quoted\" \"" + mark + mark + "name\"\n}\n";
        KeyValues root;
        QString error;
        QVERIFY2(KeyValues::parse(text, "a.acf", root, &error), qPrintable(error));
        const KeyValues* app = root.find("App");
        QVERIFY(app);
        const QString feff(QChar(0xFEFF));
        QCOMPARE(app->children().size(), std::size_t(2));
        QCOMPARE(app->children()[0].key(), feff + feff + "key");
        QCOMPARE(app->children()[0].value(), feff + "bare");
        QCOMPARE(app->text("quoted"), feff + feff + "name");
    }

    void badTextNamesFileLineAndReason_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("unterminated") << QByteArray("\"a\"\n{\n\"b\" \"never\n}\n")
                                      << "f.vdf:3: quoted text never ends";
        QTest::newRow("missing brace") << QByteArray("\"a\"\n{\n\"b\" \"c\"\n")
                                       << "f.vdf:4: end of file inside \"a\" (opened at line 2)";
        QTest::newRow("stray brace") << QByteArray("\"a\" \"b\"\n}\n") << "f.vdf:2: '}' without an open block";
        QTest::newRow("no value") << QByteArray("\"a\" { \"b\" }") << "f.vdf:1: key \"b\" has no value";
        QTest::newRow("block without key") << QByteArray("{ }") << "f.vdf:1: '{' without a key before it";
        QTest::newRow("too deep") << QByteArray("k {").repeated(300) + QByteArray("}").repeated(300)
                                  << "f.vdf:1: blocks nested deeper than 256 levels";
    }

    void badTextNamesFileLineAndReason()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        KeyValues root;
        QString message;
        QVERIFY(!KeyValues::parse(text, "f.vdf", root, &message));
        QCOMPARE(message, error);
    }
};

QTEST_GUILESS_MAIN(TestKeyValues)
#include "tst_keyvalues.moc"
