#pragma once

#include <QByteArray>
#include <QDomDocument>

// Reads a database text as the unit writes it (elements with attributes and
// whitespace between them, UTF-8) into a tree whose names and repeated values
// share one string each: the largest database takes a quarter less memory than
// QDomDocument::setContent leaves it in. False, with `into` untouched, for any
// text beyond that form or not well formed; the caller then leaves it to
// setContent, so every text gets the tree and the verdict setContent gives.
bool readPlainDocument(const QByteArray& text, QDomDocument& into);
