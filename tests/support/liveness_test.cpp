// The liveness rule: Fire tells whether the raiser survived its handler,
// FireCurrent also whether the handler moved it to a new epoch, and tokens
// taken before answer after the raiser is gone.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/Liveness.h"

using nl::Liveness;

namespace {

// An object raising one event the way the product's raisers do.
struct Raiser {
    Liveness life;
    std::function<void()> OnEvent;
    bool Fire() {
        return life.Fire([&] {
            auto fn = OnEvent;
            if (fn) fn();
        });
    }
    bool FireCurrent() {
        return life.FireCurrent([&] {
            auto fn = OnEvent;
            if (fn) fn();
        });
    }
};

}  // namespace

TEST(Liveness, AnswersWhatTheHandlerDid) {
    struct Case {
        const char* name;
        bool destroy;
        bool advance;
        bool alive;    // what Fire answers
        bool current;  // what FireCurrent answers
    };
    const Case cases[] = {
        {"nothing", false, false, true, true},
        {"destroyed", true, false, false, false},
        {"new epoch", false, true, true, false},
        {"new epoch, then destroyed", true, true, false, false},
    };
    for (const Case& c : cases) {
        for (bool current : {false, true}) {
            auto* r = new Raiser;
            const Liveness::Token before = r->life.Watch();
            r->OnEvent = [&] {
                if (c.advance) r->life.Advance();
                if (c.destroy) {
                    delete r;
                    r = nullptr;
                }
            };
            const bool answer = current ? r->FireCurrent() : r->Fire();
            EXPECT_EQ(answer, current ? c.current : c.alive) << c.name << (current ? " (current)" : "");
            // A token taken before the event agrees, also after the raiser is gone.
            EXPECT_EQ(before.Alive(), c.alive) << c.name;
            EXPECT_EQ(before.Current(), c.current) << c.name;
            EXPECT_EQ(r == nullptr, c.destroy) << c.name;
            delete r;
        }
    }
}

TEST(Liveness, TokensTakenInANewEpochAreCurrent) {
    Liveness life;
    const Liveness::Token first = life.Watch();
    life.Advance();
    const Liveness::Token second = life.Watch();
    EXPECT_FALSE(first.Current());
    EXPECT_TRUE(first.Alive());
    EXPECT_TRUE(second.Current());
    life.End();
    EXPECT_FALSE(second.Alive());
    EXPECT_FALSE(second.Current());
}

TEST(Liveness, NestedFireAnswersEachLevel) {
    auto* r = new Raiser;
    std::vector<bool> inner;
    int depth = 0;
    // An event raised inside another moves the raiser to a new epoch: the inner
    // Fire sees it alive, the outer FireCurrent sees its epoch gone.
    r->OnEvent = [&] {
        if (++depth == 1)
            inner.push_back(r->Fire());
        else
            r->life.Advance();
    };
    EXPECT_FALSE(r->FireCurrent());
    EXPECT_EQ(inner, std::vector<bool>{true});

    // An event raised inside another destroys the raiser: both levels see it gone.
    depth = 0;
    inner.clear();
    r->OnEvent = [&] {
        if (++depth == 1) {
            inner.push_back(r->FireCurrent());
        } else {
            delete r;
            r = nullptr;
        }
    };
    EXPECT_FALSE(r->Fire());
    EXPECT_EQ(inner, std::vector<bool>{false});
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(depth, 2);
}
