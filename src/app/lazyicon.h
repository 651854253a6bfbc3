#pragma once

#include <QIcon>

// An icon whose picture is decoded when it is first drawn or measured, not when
// it is set: a form would otherwise decode every picture on it, those of pages
// not on screen included, before its window shows. The same path gives the
// same icon for the whole run (GUI thread only).
QIcon lazyIcon(const char* resourcePath);
