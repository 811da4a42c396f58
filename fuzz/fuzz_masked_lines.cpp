// Any text as a console or log line through the last pass every line takes. Known secrets, put
// after hidden keys in each form the pass knows, before and after the text, on one line or a line
// each, and after the text inside a long hidden structure, never come out; a hidden span runs past
// its line only to a closing quote or to the text's end; a text in which no hidden key name can be
// read comes out unchanged and uncopied. The seeds hold long lines (60 KB and more) of the shapes
// that cost a scan more than linear time once, so that such a cost shows as a time-out.
#include "FuzzSupport.h"

#include "foundation/logging/LineReader.h"
#include "foundation/logging/LogLineMasker.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/logging/LogText.h"

#include <QString>
#include <QStringList>

#include <array>

namespace {

// "%1" stands for the secret; each form in the order the pass must find it.
const std::array<const char*, 57> kForms = {
    R"({"code":0,"data":{"uid":"u","token":"%1"}})",
    R"({"uid":"u","extra":"{\"accessToken\":\"%1\"}"})",
    R"({"a":"{\"b\":\"{\\\"phone\\\":\\\"%1\\\"}\"}"})",
    R"(window.receiveNativeMessage('{"data":"{\\"sign\\":\\"%1\\"}"}');)",
    R"(https://h/p?x=1&access_token=%1#token=%1)",
    R"(type=get&token=%1)",
    R"({'type':'set','data':{'key':'account-user_token','value':'%1'}})",
    R"({"type":"set","data":{"key":"token","value":%1}})",
    R"({"value":"%1","key":"login-usertoken"})",
    R"(["password": "%1", "uid": "u"])",
    "PUT\n/k\n\nhost:h\nx-amz-security-token:%1\n\nhost;x-amz-security-token\n",
    "Authorization: OBS %1:%1\nDate: x",
    R"(Credential=%1/2026/r/s3/aws4_request, SignedHeaders=host, Signature=%1)",
    R"(<Error><AWSAccessKeyId>%1</AWSAccessKeyId><SignatureProvided>%1</SignatureProvided></Error>)",
    "Set-Cookie: SESSION=%1; Path=/\nHost: h",
    "Proxy-Authorization: Basic %1\nHost: h",
    R"({"token"=>"%1"} access_token=>%1)",
    R"({"url":"/a?token\u003d%1"})",
    R"(<Token type="x">%1</Token>)",
    R"(<Token-0>%1</Token-0>)",
    R"(<ArgumentName>x-amz-security-token</ArgumentName><ArgumentValue>%1</ArgumentValue>)",
    "redirect_uri=https%3A%2F%2Fh%2Fp%3Ftoken%3D%1%26x%3D1",
    "data=%7B%22x%22%3A1%2C%22token%22%3A%22%1%22%7D",
    "next=%2Fh%3Fsign%253D%1%2526x%253D1",
    R"([{"name":"lang","value":"zh"},{"value":"%1","name":"token"}])",
    "{\"value\":{\"v\":\"%1\"},\"x\":{\"a\":\"}\"},\"name\":\"token\"}",
    R"({"credentials":{"id":"%1","n":[%1]}})",
    R"({"sign":%1,"ok":true})",
    R"({"data":"{\u0022token\u0022:\u0022%1\u0022}"})",
    "f=%7B%22d%22%3A%22%7B%5C%22token%5C%22%3A%5C%22%1%5C%22%7D%22%7D",
    "next=%2Fh%3Fsign%25253D%1%252526x%25253D1",
    "data=%7B%22token%22%3A+%22%1%22%7D d=%7B%22sign%22%20%3A%20%22%1%22%7D",
    R"([["authorization","Bearer %1"],["token","%1"]])",
    R"({"Name":"token","type":{"value":"string"},"Value":"%1"})",
    R"({"value":"%1","type":{"value":"string"},"name":"sign"})",
    R"(token%2e:%1 pwd\u002d=%1)",
    "{\n  \"token\": {\n    \"value\": \"%1\",\n    \"n\": 1\n  }\n}",
    "{\"cookie\": [\n {\"name\": \"S\",\n \"value\": \"%1\"}\n], \"lang\": \"zh\"}",
    "{\"privateKey\":\"-----BEGIN-----\n%1\n-----END-----\",\"id\":1}",
    "token: {a: %1, b: [%1]}",
    "x-api-key: %1\n{\"apiKey\":\"%1\"} ?api_key=%1&x=1",
    R"({"xml":"\u003cSignatureProvided\u003e%1\u003c/SignatureProvided\u003e","s":1})",
    "data=token%20%3D%3E%20%1&x=1",
    "Authorization: Digest nonce=\"n\", response=\"%1\"\nHost: h",
    R"(log token \u003d> %1 end {"o":"password \\u003d> %1"})",
    R"({"token": ["C:\\dir\\", {"a": "x"}, {"b": "%1"}]})",
    "{\n  \"password\": [\n    \"C:\\\\dir\\\\\",\n    {\n      \"b\": \"%1\"\n    }\n  ]\n}",
    "data=msg%3Dx%26sign%253D%2B%1%26n%3D1&from=page",
    "phone: 138 %1 0032",
    "r=%2Fa%3Fphone%3D138%20%1%200032",
    "phone: 138\u00a0%1\u3000 0041",
    "idcard: 110101 %1 044X",
    "phone: 13800000000 1380%1 ok",
    "idcard: 110105194912310021、1380%1 ok",
    R"({"m":"phone: 138\u0020%1"})",
    "phone: 13800000000;1380%1 ok",
    "phoneNumber%3D%2B86%2013800000000%2C%20%2B861380%1%26x%3D1",
};

constexpr size_t kNumberForms = 15;

constexpr qsizetype kLongText = 4096;

// Letters and digits only, so that each is one word of any form; numbers for the last ones.
QString secret(size_t form) {
    return form >= kForms.size() - kNumberForms ? QStringLiteral("90817%1").arg(form)
                                                : QStringLiteral("S3cr3tV%1q").arg(form);
}

QString filled(size_t form) {
    return QString::fromUtf8(kForms[form]).replace(QStringLiteral("%1"), secret(form));
}

// Whether a hidden key name could be read anywhere in the text: after lower-casing and dropping
// "_", "-" and "." from the whole text, one of these stems (every hidden name holds one) is in
// it, or an escape could spell one.
bool mayHoldHiddenName(const QString& text) {
    if (text.contains(QStringLiteral("\\u")) || text.contains(QLatin1Char('%'))) {
        return true;
    }
    QString folded;
    folded.reserve(text.size());
    for (const QChar character : text) {
        if (character != u'_' && character != u'-' && character != u'.') {
            folded += character.toLower();
        }
    }
    static const QStringList stems = {
        QStringLiteral("token"),      QStringLiteral("sign"),   QStringLiteral("pass"),
        QStringLiteral("pwd"),        QStringLiteral("secret"), QStringLiteral("ak"),
        QStringLiteral("sk"),         QStringLiteral("auth"),   QStringLiteral("cookie"),
        QStringLiteral("credential"), QStringLiteral("bytes"),  QStringLiteral("private"),
        QStringLiteral("phone"),      QStringLiteral("mobile"), QStringLiteral("realname"),
        QStringLiteral("card"),       QStringLiteral("idn"),    QStringLiteral("apikey"),
    };
    for (const QString& stem : stems) {
        if (folded.contains(stem)) {
            return true;
        }
    }
    return false;
}

void expectNoSecret(const QString& line, const QString& text) {
    LogLineMasker masker(line);
    const QString masked = masker.masked();
    // Past its line a hidden span runs only to the quote that closes it, or to the text's end.
    const LineReader reader(line);
    for (const LogLineMasker::Span span : masker.hiddenSpans()) {
        const QStringView hidden = QStringView(line).sliced(span.start, span.size());
        if ((hidden.contains(u'\n') || hidden.contains(u'\r')) && span.end < line.size() &&
            !LogText::isQuote(reader.at(span.end).character)) {
            fuzz::violated("a hidden span ran past its line, but not to its close");
        }
    }
    for (size_t form = 0; form < kForms.size(); ++form) {
        // A secret the fuzzer wrote into the text itself may stand where nothing hides it.
        if (!text.contains(secret(form)) && masked.contains(secret(form))) {
            std::fprintf(stderr, "form %zu: %s\n", form, qPrintable(masked));
            fuzz::violated("a secret after a hidden key came out");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    QStringList forms;
    for (size_t form = 0; form < kForms.size(); ++form) {
        forms << filled(form);
    }
    // Before the text, nothing in it takes a form's value away from its key, nor does a structure
    // it holds, hidden, that closes in the forms or never. A long text goes right after one form
    // only, taken by its length, so that it costs a few passes, not one a form.
    expectNoSecret(forms.join(QLatin1Char(' ')) + QLatin1Char(' ') + text, text);
    expectNoSecret(forms.join(QLatin1Char('\n')) + QLatin1Char('\n') + text, text);
    expectNoSecret(QStringLiteral("{\"credentials\": [\n  {\"k\": ") + text + QStringLiteral("\n") +
                       forms.join(QLatin1Char('\n')),
                   text);
    for (qsizetype form = 0; form < forms.size(); ++form) {
        if (text.size() <= kLongText || form == text.size() % forms.size()) {
            expectNoSecret(forms[form] + text, text);
        }
    }
    if (mayHoldHiddenName(text)) {
        return 0;
    }
    const QString masked = LogRedaction::maskedLine(text);
    if (masked != text || (!text.isEmpty() && !masked.isSharedWith(text))) {
        fuzz::violated("a text without a hidden key name was changed or copied");
    }
    expectNoSecret(text + QLatin1Char(' ') + forms.join(QLatin1Char(' ')), text);
    return 0;
}
