// The download control's property pages on a form of the terminal front end that
// is never shown: what they read from the selection, what they write back and
// in which order, the changed mark, and the focus selecting a whole text.
#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/PropertyBag.h"
#include "http/DownloadFile.h"
#include "http/prpProxy.h"
#include "http/prpServer.h"
#include "platform/Forms.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/ScopedEnv.h"

using namespace plat;

namespace {

LRESULT Ignore(HWND, UINT, WPARAM, LPARAM) { return 0; }

// Both pages on the tabs of one hidden form, selecting `first` (and `second`).
class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        testutil::SetVariable("NOVALINK_UI", "text");
        FormSpec spec;
        spec.caption = "pages";
        form = CreateForm(spec, &Ignore);
        ASSERT_NE(form, 0u);
        ASSERT_TRUE(AddTabs(form, 10, {0, 0, 6000, 4000}));
        ASSERT_TRUE(AddTabPage(form, 10, 11, server.Caption()));
        ASSERT_TRUE(AddTabPage(form, 10, 12, proxy.Caption()));
        ASSERT_TRUE(server.Create(form, 11, 100));
        ASSERT_TRUE(proxy.Create(form, 12, 200));
        server.SelectedControls = {&first, &second};
        proxy.SelectedControls = {&first, &second};
    }
    void TearDown() override { DestroyWindow(form); }

    // The user types into a field, or changes a check box or the list.
    void Type(nl::PropertyPage& page, const std::string& field, const std::string& text) {
        ASSERT_TRUE(SetControlText(form, page.FieldId(field), text));
        ASSERT_TRUE(page.HandleCommand(page.FieldId(field), PL_EN_CHANGE));
    }
    std::string Shown(const nl::PropertyPage& page, const std::string& field) {
        std::string text;
        EXPECT_TRUE(GetControlText(form, page.FieldId(field), &text)) << field;
        return text;
    }
    // The error number ApplyChanges raised, 0 when none.
    static int Apply(nl::PropertyPage& page) {
        try {
            page.ApplyChanges();
        } catch (const nl::RaisedError& e) {
            return e.Number();
        }
        return 0;
    }

    nl::DownloadFile first, second;
    nl::prpServer server;
    nl::prpProxy proxy;
    HWND form = 0;
};

TEST_F(Pages, ReadTheFirstSelectedControlOnly) {
    EXPECT_EQ(server.Caption(), "URL");
    EXPECT_EQ(proxy.Caption(), "Proxy Server");
    first.SetServer("srv");
    first.SetPort(8080);
    first.SetURL("/a/b.zip");
    first.SetTimeOut(45);
    first.SetHTTPVersion(1);
    first.SetProxyServer("px");
    first.SetProxyPort(3128);
    first.SetProxyUserName("u");
    first.SetProxyPassword("p w");
    first.SetNoCache(false);
    second.SetServer("other");
    server.SelectionChanged();
    proxy.SelectionChanged();
    const std::pair<const char*, const char*> serverFields[] = {
        {"txtServer", "srv"}, {"txtPort", "8080"}, {"txtURL", "/a/b.zip"}, {"txtTimeout", "45"}};
    for (auto [field, text] : serverFields) EXPECT_EQ(Shown(server, field), text) << field;
    EXPECT_EQ(GetListIndex(form, server.FieldId("cboHTTPVer")), 1);
    const std::pair<const char*, const char*> proxyFields[] = {
        {"txtServer", "px"}, {"txtPort", "3128"}, {"txtUser", "u"}, {"txtPassword", "p w"}};
    for (auto [field, text] : proxyFields) EXPECT_EQ(Shown(proxy, field), text) << field;
    EXPECT_EQ(GetCheck(form, proxy.FieldId("chkNoCash")), 0);

    // A version the list has no entry for leaves it without a choice; applying
    // then writes -1, which still means HTTP/1.1.
    first.SetHTTPVersion(2);
    server.SelectionChanged();
    EXPECT_EQ(GetListIndex(form, server.FieldId("cboHTTPVer")), -1);
    EXPECT_EQ(Apply(server), 0);
    EXPECT_EQ(first.HTTPVersion(), -1);
    EXPECT_NE(first.GetHttpHead().find("HTTP/1.1"), std::string::npos);
    // Nothing selected: nothing read, nothing written.
    server.SelectedControls.clear();
    Type(server, "txtServer", "nobody");
    server.SelectionChanged();
    EXPECT_EQ(Apply(server), 0);
    EXPECT_EQ(first.Server(), "srv");
}

TEST_F(Pages, ApplyThroughTheSettersInOrder) {
    server.SelectionChanged();
    proxy.SelectionChanged();
    // The setters' rules: a time-out out of range becomes 30, an address its host.
    Type(server, "txtTimeout", " 5 ");
    Type(server, "txtServer", "http://srv/x");
    Type(server, "txtURL", "http://srv/a/b.zip");
    SetListIndex(form, server.FieldId("cboHTTPVer"), 1);
    EXPECT_EQ(Apply(server), 0);
    EXPECT_EQ(first.TimeOut(), 30);
    EXPECT_EQ(first.Server(), "srv");
    EXPECT_EQ(first.URL(), "/a/b.zip");
    EXPECT_EQ(first.HTTPVersion(), 1);
    server.SelectionChanged();
    EXPECT_EQ(Shown(server, "txtTimeout"), "30");
    EXPECT_EQ(second.Server(), "");  // only the first selected control is written

    // A port that is no number fails after HTTPVersion, TimeOut and Server were
    // written, which keep their new values; URL after it is not reached.
    struct Case {
        const char* port;
        int error;
    } cases[] = {{"abc", 13}, {"", 13}, {"70000", 6}, {"99999999999", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        first.SetHTTPVersion(0);
        Type(server, "txtTimeout", "120");
        Type(server, "txtServer", "new");
        Type(server, "txtPort", c.port);
        Type(server, "txtURL", "/other");
        SetListIndex(form, server.FieldId("cboHTTPVer"), 1);
        EXPECT_EQ(Apply(server), c.error);
        EXPECT_EQ(first.HTTPVersion(), 1);
        EXPECT_EQ(first.TimeOut(), 120);
        EXPECT_EQ(first.Server(), "new");
        EXPECT_EQ(first.Port(), 80);
        EXPECT_EQ(first.URL(), "/a/b.zip");
        first.SetServer("srv");
    }
    // The ordinary conversion rounds a fraction.
    Type(server, "txtPort", "8080.5");
    EXPECT_EQ(Apply(server), 0);
    EXPECT_EQ(first.Port(), 8080);

    // The proxy page: server, port, account, then the no-cache switch.
    Type(proxy, "txtServer", "http://px:3128/");
    Type(proxy, "txtPort", "bad");
    Type(proxy, "txtUser", "  user  ");
    SetCheck(form, proxy.FieldId("chkNoCash"), 0);
    EXPECT_EQ(Apply(proxy), 13);
    EXPECT_EQ(first.ProxyServer(), "px:3128");
    EXPECT_EQ(first.ProxyUserName(), "");
    EXPECT_TRUE(first.NoCache());
    Type(proxy, "txtPort", "3128");
    EXPECT_EQ(Apply(proxy), 0);
    EXPECT_EQ(first.ProxyPort(), 3128);
    EXPECT_EQ(first.ProxyUserName(), "user");
    EXPECT_FALSE(first.NoCache());
}

TEST_F(Pages, ABusyControlRefusesTheFirstWrite) {
    // A design session saved while a transfer ran: the control loads busy.
    first.Host().SetDesignMode(true);
    nl::PropertyBag bag;
    bag.WriteProperty("IsBusy", true, false);
    first.ReadProperties(bag);
    ASSERT_TRUE(first.IsBusy());
    server.SelectionChanged();
    Type(server, "txtServer", "srv");
    EXPECT_EQ(Apply(server), 10001);
    EXPECT_EQ(first.Server(), "");
    EXPECT_EQ(Apply(proxy), 10001);
}

TEST_F(Pages, EditsMarkThePageAndTheFocusSelectsTheText) {
    int marks = 0;
    server.OnChangedMark = [&] { ++marks; };
    server.SelectionChanged();  // what the program sets is no edit
    EXPECT_FALSE(server.Changed());
    const struct {
        nl::PropertyPage* page;
        const char* field;
        std::uint16_t code;
    } edits[] = {{&server, "txtURL", PL_EN_CHANGE},
                 {&server, "cboHTTPVer", PL_CBN_SELCHANGE},
                 {&proxy, "chkNoCash", PL_BN_CLICKED},
                 {&proxy, "txtPassword", PL_EN_CHANGE}};
    for (const auto& e : edits) {
        SCOPED_TRACE(e.field);
        e.page->SetChanged(false);
        EXPECT_TRUE(e.page->HandleCommand(e.page->FieldId(e.field), e.code));
        EXPECT_TRUE(e.page->Changed());
    }
    EXPECT_EQ(marks, 3);  // set, cleared, set (the two changes in a row count once)
    // A focus is no edit; it selects the whole text.
    proxy.SetChanged(false);
    SetControlText(form, proxy.FieldId("txtUser"), "Grüße");
    EXPECT_TRUE(proxy.HandleCommand(proxy.FieldId("txtUser"), PL_EN_SETFOCUS));
    EXPECT_FALSE(proxy.Changed());
    int start = -1, length = -1;
    ASSERT_TRUE(GetTextSelection(form, proxy.FieldId("txtUser"), &start, &length));
    EXPECT_EQ(start, 0);
    EXPECT_EQ(length, 7);  // bytes of the UTF-8 text
    // Controls that are not the page's are left to others.
    EXPECT_FALSE(server.HandleCommand(proxy.FieldId("txtUser"), PL_EN_CHANGE));
    EXPECT_FALSE(server.HandleCommand(1, PL_BN_CLICKED));
}

}  // namespace
