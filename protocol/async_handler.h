#ifndef KORVAND_PROTOCOL_ASYNC_HANDLER_H
#define KORVAND_PROTOCOL_ASYNC_HANDLER_H

#include <memory>

namespace ASync {

// The owned completion handler of an engine; the owner binds one of its
// member functions through THandler. Binding again deletes the previous
// handler.
template <class... Args>
class Completion {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(Args... args) = 0;
    };

    template <class T>
    class THandler : public Handler {
    public:
        typedef void (T::*Action)(Args...);
        THandler(T* o, Action a) : object(o), action(a) {}
        void Invoke(Args... args) override { (object->*action)(args...); }

    private:
        T* object;
        Action action;
    };

    void Bind(Handler* h) { handler.reset(h); }
    template <class T>
    void Bind(T* object, typename THandler<T>::Action action) {
        Bind(new THandler<T>(object, action));
    }
    void UnBind() { handler.reset(); }

protected:
    // The last thing a completion does: the handler may rebind, start the
    // engine again or destroy it.
    void Notify(Args... args) {
        if (handler) handler->Invoke(args...);
    }

private:
    std::unique_ptr<Handler> handler;
};

}  // namespace ASync

#endif
