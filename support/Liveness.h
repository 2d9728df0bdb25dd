// The rule every object that raises events follows. Events are raised
// synchronously, and a handler may destroy the object that raised its event, or
// end what the object was doing (a connection, a transfer) and start the next
// one. The object must notice both before it touches itself again.
//
// The object keeps one Liveness, ended when the object is destroyed. Its epoch
// counts what the object has started: the object advances it whenever a new
// connection or transfer begins (or the current one ends), so a handler can tell
// that the one it was raised for has been replaced although the object lives.
//
// Events go out through Fire, which answers afterwards whether the object still
// exists, or FireCurrent, which answers whether it also still is in the epoch it
// was in before the event. A step that raises events indirectly (a call into a
// part whose events reach back here) takes a Token before it and asks the token
// afterwards. Neither Fire nor a Token touches the object once the handler ran.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace nl {

class Liveness {
    struct State {
        bool alive = true;
        std::uint32_t epoch = 0;
    };

public:
    // The object's life as it was at one moment; it may be asked after the object
    // has gone.
    class Token {
    public:
        // The object still exists.
        bool Alive() const { return state_->alive; }
        // The object still exists and is in the same epoch.
        bool Current() const { return state_->alive && state_->epoch == epoch_; }

    private:
        friend class Liveness;
        explicit Token(std::shared_ptr<const State> state) : state_(std::move(state)), epoch_(state_->epoch) {}
        std::shared_ptr<const State> state_;
        std::uint32_t epoch_;
    };

    Liveness() : state_(std::make_shared<State>()) {}
    ~Liveness() { End(); }
    Liveness(const Liveness&) = delete;
    Liveness& operator=(const Liveness&) = delete;

    // Marks the object gone. The destructor does it; an owner whose destructor
    // does more than release members calls it first.
    void End() { state_->alive = false; }
    // A new connection or transfer begins, or the current one ends.
    void Advance() { ++state_->epoch; }
    Token Watch() const { return Token(state_); }

    // Raises an event (calls `raise`) and returns whether the object still exists.
    template <class F>
    bool Fire(F&& raise) const {
        const Token before = Watch();
        std::forward<F>(raise)();
        return before.Alive();
    }
    // Raises an event and returns whether the object still exists and is still in
    // the epoch it was in before.
    template <class F>
    bool FireCurrent(F&& raise) const {
        const Token before = Watch();
        std::forward<F>(raise)();
        return before.Current();
    }

private:
    std::shared_ptr<State> state_;
};

}  // namespace nl
