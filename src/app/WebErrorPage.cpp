#include "app/WebErrorPage.h"

namespace WebErrorPage {

QString escapeHTML(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("&#39;"));
    return escaped;
}

QString manualDownloadAddress(const std::optional<QUrl>& lastDownloadURL,
                              const std::optional<ForceInfo>& activeForceInfo) {
    if (lastDownloadURL) {
        return lastDownloadURL->toString(QUrl::FullyEncoded);
    }
    if (activeForceInfo && activeForceInfo->pcClientWebDownload) {
        return *activeForceInfo->pcClientWebDownload;
    }
    return QStringLiteral("请联系工作人员获取 Web 包");
}

QString html(const QString& failureText, const QString& downloadAddress,
             const QString& targetFolder) {
    static const QString head = QStringLiteral(R"(<!DOCTYPE html>
<html>
<head>
<meta charset="UTF-8">
<meta name="viewport" content="width=device-width, initial-scale=1.0">
<title>错误</title>
<style>
* { margin: 0; padding: 0; box-sizing: border-box; }
body { font-family: -apple-system, BlinkMacSystemFont, 'Segoe UI', sans-serif; display: flex; justify-content: center; align-items: center; min-height: 100vh; background: linear-gradient(135deg, #667eea 0%, #764ba2 100%); }
.error { background: white; padding: 50px; border-radius: 20px; box-shadow: 0 20px 60px rgba(0,0,0,0.3); text-align: center; max-width: 500px; }
h1 { color: #e74c3c; margin-bottom: 20px; }
p { color: #666; line-height: 1.6; }
.reason { margin-top: 12px; color: #b03a2e; }
.hint { margin-top: 12px; color: #444; }
code { display: block; margin-top: 15px; padding: 10px; background: #f5f5f5; border-radius: 5px; font-size: 12px; word-break: break-all; }
button { margin-top: 24px; padding: 10px 18px; border: none; border-radius: 6px; background: #1677ff; color: white; font-size: 14px; }
</style>
</head>
<body>
<div class="error">
<h1>页面加载失败</h1>
<p>Web 资源没有下载成功，暂时无法打开应用页面。</p>
<p class="reason">失败原因：)");
    static const QString afterReason = QStringLiteral(R"(</p>
<p class="hint">您也可以自行下载 Web 包：</p>
<code>)");
    static const QString afterAddress = QStringLiteral(R"(</code>
<p class="hint">下载后解压，并将解压内容放到以下目录即可正常使用：</p>
<code>)");
    static const QString tail = QStringLiteral(R"(</code>
<button id="repair" type="button">修复 Web 包</button>
</div>
<script>
document.getElementById('repair').addEventListener('click', function () {
  const message = JSON.stringify({ type: 'repair-web-content', data: {} });
  if (window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.web2native) {
    window.webkit.messageHandlers.web2native.postMessage(message);
  }
});
console.log('✅ 错误页面已加载');
console.log('web2native 可用:', typeof window.web2native !== 'undefined');
</script>
</body>
</html>
)");
    return head + escapeHTML(failureText) + afterReason + escapeHTML(downloadAddress) +
           afterAddress + escapeHTML(targetFolder) + tail;
}

}  // namespace WebErrorPage
