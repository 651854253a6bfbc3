#include "slotsbyname.h"

#include <QMetaMethod>
#include <QObject>

namespace {

// The signal a slot's name asks for: the exact signature, else the first
// declared one of that name taking at least the slot's arguments.
QMetaMethod signalNamed(const QMetaObject* meta, const QByteArray& signature)
{
    const int exact = meta->indexOfSignal(signature.constData());
    if (exact >= 0)
        return meta->method(exact);
    const QByteArray prefix = signature.left(signature.size() - 1); // without ')'
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal && method.methodSignature().startsWith(prefix))
            return method;
    }
    return QMetaMethod();
}

} // namespace

void connectSlotsByName(QObject* receiver, QObject* root)
{
    QObjectList objects = root->findChildren<QObject*>();
    objects << root;
    const QMetaObject* meta = receiver->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod slot = meta->method(i);
        const QByteArray signature = slot.methodSignature();
        if (!signature.startsWith("on_"))
            continue;
        for (QObject* object : qAsConst(objects)) {
            const QByteArray name = object->objectName().toLatin1();
            if (name.isEmpty() || !signature.startsWith("on_" + name + '_'))
                continue;
            const QMetaMethod signal = signalNamed(object->metaObject(), signature.mid(name.size() + 4));
            if (signal.isValid() && QObject::connect(object, signal, receiver, slot)) {
                // One connection per slot: its overloads without the defaulted arguments are the same slot.
                while (
                    i + 1 < meta->methodCount() && (meta->method(i + 1).attributes() & QMetaMethod::Cloned))
                    ++i;
                break;
            }
        }
    }
}
