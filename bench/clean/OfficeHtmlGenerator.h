#pragma once
#include <QByteArray>

// HTML shaped like a word processor's "save as web page": a style sheet in the
// head, paragraphs of spans with class, lang and style attributes, o:p elements,
// list markers, VML comments and pictures. UTF-8, about `bytes` long.
QByteArray officeHtml(qsizetype bytes);
