#include "OfficeHtmlGenerator.h"

namespace {

const char kHead[] =
    "<html xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\">\r\n"
    "<head>\r\n<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n"
    "<meta name=Generator content=\"Office Word\">\r\n<title>季度报告 Quarterly report</title>\r\n"
    "<!--[if gte mso 9]><xml><o:DocumentProperties><o:Author>Li</o:Author></o:DocumentProperties></xml><![endif]-->\r\n"
    "<style>\r\n<!--\r\n p.MsoNormal, li.MsoNormal {mso-style-parent:\"\"; margin:0cm; font-size:10.5pt;"
    " font-family:\"Times New Roman\"; mso-fareast-font-family:宋体;}\r\n"
    "@page Section1 {size:595.3pt 841.9pt; margin:72.0pt 90.0pt 72.0pt 90.0pt;}\r\n-->\r\n</style>\r\n"
    "</head>\r\n<body lang=ZH-CN style='tab-interval:21.0pt;text-justify-trim:punctuation'>\r\n"
    "<div class=Section1 style='layout-grid:15.6pt'>\r\n";

const char kTail[] = "</div>\r\n</body>\r\n</html>\r\n";

QByteArray paragraph(int n)
{
    QByteArray p;
    if (n % 7 == 3) {
        p += "<p class=MsoNormal style='margin-left:21.0pt;text-indent:-21.0pt;mso-list:l0 level1 lfo1'>"
             "<![if !supportLists]><span lang=EN-US style='font-family:Wingdings'>l<span style='font:7.0pt "
             "\"Times New Roman\"'>&nbsp;&nbsp; </span></span><![endif]>";
    } else {
        p += "<p class=MsoNormal style='text-indent:21.0pt;line-height:150%'>";
    }
    p += "<span style='font-family:宋体;mso-ascii-font-family:\"Times New Roman\"'>这是第";
    p += QByteArray::number(n);
    p += "段的正文，包含一些中文文字。</span><span lang=EN-US>The quick brown fox jumps over the lazy dog, "
         "paragraph ";
    p += QByteArray::number(n);
    p += ".</span><span lang=EN-US style='font-size:12.0pt'><o:p></o:p></span></p>\r\n";
    if (n % 20 == 19) {
        const QByteArray id = QByteArray::number(n / 20 + 1).rightJustified(3, '0');
        p += "<p class=MsoNormal align=center style='text-align:center'><span lang=EN-US>"
             "<!--[if gte vml 1]><v:shape id=\"_x0000_i10";
        p += id;
        p += "\" type=\"#_x0000_t75\" style='width:300pt;height:200pt'><v:imagedata src=\"report.files/image";
        p += id;
        p += ".png\" o:title=\"\"/></v:shape><![endif]--><![if !vml]><img width=400 height=267 "
             "src=\"report.files/image";
        p += id;
        p += ".jpg\" v:shapes=\"_x0000_i10";
        p += id;
        p += "\"><![endif]><o:p></o:p></span></p>\r\n";
    }
    return p;
}

} // namespace

QByteArray officeHtml(qsizetype bytes)
{
    QByteArray out(kHead);
    out.reserve(bytes + 4096);
    for (int n = 1; out.size() + qsizetype(sizeof kTail) < bytes; ++n)
        out += paragraph(n);
    out += kTail;
    return out;
}
