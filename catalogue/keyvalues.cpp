#include "keyvalues.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <utility>

namespace {

// Deeper nesting is no Steam file; the limit keeps the tree's destruction off a deep recursion.
constexpr int kMaxDepth = 256;
// Steam's own files are kilobytes; anything this big is not one of them.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool startsWithByteOrderMark(const char* text, qint64 size)
{
    return size >= 3 && std::memcmp(text, kByteOrderMark, 3) == 0;
}

// QString::fromUtf8 drops a byte order mark at the start of what it decodes; inside the file a
// U+FEFF is text like any other, kept so that a name reads the same however often it is written.
QString decoded(const char* text, int size)
{
    QString marks;
    for (; startsWithByteOrderMark(text, size); text += 3, size -= 3)
        marks += QChar(0xFEFF);
    return marks + QString::fromUtf8(text, size);
}

} // namespace

// Reads tokens off the text and builds the tree with an explicit stack of open objects.
class KeyValuesParser
{
public:
    KeyValuesParser(const QByteArray& text, QString fileName)
        : m_pos(text.constData())
        , m_end(text.constData() + text.size())
        , m_fileName(std::move(fileName))
    {
        if (startsWithByteOrderMark(m_pos, m_end - m_pos))
            m_pos += 3;
    }

    bool parse(KeyValues& root, QString* error)
    {
        root = KeyValues();
        root.m_isObject = true;
        std::vector<KeyValues*> open{&root};
        std::vector<int> openedAt{0};
        for (;;) {
            Token token = next(true);
            if (token.kind == Token::Error)
                return fail(error, token.line, token.text);
            if (token.kind == Token::End) {
                if (open.size() > 1)
                    return fail(error, token.line,
                                QString("end of file inside \"%1\" (opened at line %2)")
                                    .arg(open.back()->m_key, QString::number(openedAt.back())));
                return true;
            }
            if (token.kind == Token::Close) {
                if (open.size() == 1)
                    return fail(error, token.line, "'}' without an open block");
                open.pop_back();
                openedAt.pop_back();
                continue;
            }
            if (token.kind == Token::Open)
                return fail(error, token.line, "'{' without a key before it");
            if (token.kind == Token::Directive)
                continue;

            const Token value = next(false);
            if (value.kind == Token::Error)
                return fail(error, value.line, value.text);
            if (value.kind == Token::Text) {
                open.back()->m_children.emplace_back(token.text, value.text);
            } else if (value.kind == Token::Open) {
                if (static_cast<int>(open.size()) > kMaxDepth)
                    return fail(error, value.line, QString("blocks nested deeper than %1 levels").arg(kMaxDepth));
                KeyValues child(token.text, QString());
                child.m_isObject = true;
                open.back()->m_children.push_back(std::move(child));
                open.push_back(&open.back()->m_children.back());
                openedAt.push_back(value.line);
            } else {
                return fail(error, value.line, QString("key \"%1\" has no value").arg(token.text));
            }
        }
    }

private:
    struct Token {
        enum Kind { Text, Open, Close, Directive, End, Error } kind;
        QString text;
        int line;
    };

    // #include and #base lines count only where a key may stand.
    Token next(bool keyPosition)
    {
        skipSpaceAndComments();
        const int line = m_line;
        if (m_pos == m_end)
            return {Token::End, {}, line};
        const char c = *m_pos;
        if (c == '{' || c == '}') {
            ++m_pos;
            return {c == '{' ? Token::Open : Token::Close, {}, line};
        }
        if (c == '"')
            return quoted();
        const char* start = m_pos;
        while (m_pos != m_end && !isSpace(*m_pos) && *m_pos != '{' && *m_pos != '}' && *m_pos != '"')
            ++m_pos;
        const QByteArray word = QByteArray::fromRawData(start, static_cast<int>(m_pos - start));
        if (keyPosition
            && (word.compare("#include", Qt::CaseInsensitive) == 0
                || word.compare("#base", Qt::CaseInsensitive) == 0)) {
            while (m_pos != m_end && *m_pos != '\n')
                ++m_pos;
            return {Token::Directive, {}, line};
        }
        return {Token::Text, decoded(start, static_cast<int>(m_pos - start)), line};
    }

    Token quoted()
    {
        const int line = m_line;
        QByteArray text;
        for (++m_pos; m_pos != m_end; ++m_pos) {
            char c = *m_pos;
            if (c == '"') {
                ++m_pos;
                return {Token::Text, decoded(text.constData(), text.size()), line};
            }
            if (c == '\n')
                ++m_line;
            if (c == '\\' && m_pos + 1 != m_end) {
                const char escaped = *++m_pos;
                if (escaped == 'n') {
                    c = '\n';
                } else if (escaped == 't') {
                    c = '\t';
                } else if (escaped == '\\' || escaped == '"') {
                    c = escaped;
                } else {
                    // Not an escape Steam writes: keep both characters, as a Windows path needs.
                    text += '\\';
                    --m_pos;
                    continue;
                }
            }
            text += c;
        }
        return {Token::Error, QStringLiteral("quoted text never ends"), line};
    }

    void skipSpaceAndComments()
    {
        while (m_pos != m_end) {
            if (*m_pos == '\n') {
                ++m_line;
                ++m_pos;
            } else if (isSpace(*m_pos)) {
                ++m_pos;
            } else if (*m_pos == '/' && m_pos + 1 != m_end && m_pos[1] == '/') {
                while (m_pos != m_end && *m_pos != '\n')
                    ++m_pos;
            } else {
                return;
            }
        }
    }

    bool fail(QString* error, int line, const QString& reason) const
    {
        if (error)
            *error = QString("%1:%2: %3").arg(m_fileName, QString::number(line), reason);
        return false;
    }

    const char* m_pos;
    const char* m_end;
    QString m_fileName;
    int m_line = 1;
};

KeyValues::KeyValues(QString key, QString value)
    : m_key(std::move(key))
    , m_value(std::move(value))
{}

bool KeyValues::parse(const QByteArray& text, const QString& fileName, KeyValues& root, QString* error)
{
    return KeyValuesParser(text, fileName).parse(root, error);
}

bool KeyValues::parseFile(const QString& path, KeyValues& root, QString* error)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error =
                QString("%1: %2").arg(path, !info.exists()               ? QStringLiteral("missing")
                                            : !info.isFile()             ? QStringLiteral("not a file")
                                            : info.size() > kMaxFileSize ? QStringLiteral("too large for a Steam file")
                                                                         : file.errorString());
        return false;
    }
    return parse(file.readAll(), path, root, error);
}

const KeyValues* KeyValues::find(const QString& key) const
{
    for (const KeyValues& child : m_children) {
        if (child.m_key.compare(key, Qt::CaseInsensitive) == 0)
            return &child;
    }
    return nullptr;
}

QString KeyValues::text(const QString& key) const
{
    const KeyValues* child = find(key);
    return child && !child->m_isObject ? child->m_value : QString();
}
