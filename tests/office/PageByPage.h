#pragma once
// The word processor's calls in the order the paged conversion makes them, for the
// backend tests: open, paginate, then cut the pages from the last to the first,
// saving each as HTML.
#include "office/WordAutomation.h"

#include <QList>
#include <QStringList>
#include <functional>

struct Paged {
    int count = 0;
    QStringList html;            // page i at i-1
    QList<QStringList> pictures; // the pictures folder at each page's save
};

// `afterSave(i)` runs right after page i is saved, before the next page
// rewrites the file and its folder.
Paged pageByPage(tx::office::WordApplication &w, const QString &source, const QString &htmlFile,
                 const std::function<void(int page)> &afterSave = {});

QString readText(const QString &path);
