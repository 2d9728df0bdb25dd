#include "platform/frontends/win32/BrowserSite.h"

#include <exdispid.h>

#include <cstddef>
#include <string>

#include "platform/win32/WideText.h"

namespace plat::win32 {

namespace {

// The HTML document's class: without it the control creates, but shows nothing.
constexpr wchar_t kHtmlDocument[] = L"{25336920-03F9-11CF-8FD0-00AA00686F13}";

bool HaveHtmlEngine() {
    CLSID id;
    if (FAILED(::CLSIDFromString(kHtmlDocument, &id))) return false;
    IUnknown* document = nullptr;
    if (FAILED(::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&document))))
        return false;
    document->Release();
    return true;
}

// Web pages, and the blank page the control itself uses.
bool IsWebPage(const wchar_t* url) {
    if (!url) return false;
    auto starts = [url](const wchar_t* prefix) {
        for (std::size_t i = 0; prefix[i]; ++i) {
            wchar_t c = url[i];
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != prefix[i]) return false;  // also at the end of `url`
        }
        return true;
    };
    return starts(L"http://") || starts(L"https://") || std::wstring(url) == L"about:blank";
}

// The BOOL* a handler sets to refuse: the event's argument `index` (counted from
// the last one, as DISPPARAMS holds them).
void Refuse(DISPPARAMS* params, UINT index) {
    if (!params || index >= params->cArgs) return;
    VARIANT& v = params->rgvarg[index];
    if (v.vt == (VT_BYREF | VT_BOOL) && v.pboolVal) *v.pboolVal = VARIANT_TRUE;
}

}  // namespace

BrowserSite* BrowserSite::Create(::HWND host) {
    static const bool ole = SUCCEEDED(::OleInitialize(nullptr));
    if (!ole || !HaveHtmlEngine()) return nullptr;
    auto* site = new BrowserSite(host);
    IOleObject* object = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&object)))) {
        site->Release();
        return nullptr;
    }
    site->object_ = object;
    ::RECT r;
    ::GetClientRect(host, &r);
    if (FAILED(object->SetClientSite(static_cast<IOleClientSite*>(site))) ||
        FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site), 0, host, &r)) ||
        FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&site->browser_)))) {
        site->Close();
        return nullptr;
    }
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &site->events_)) &&
            FAILED(site->events_->Advise(static_cast<IDispatch*>(site), &site->cookie_))) {
            site->events_->Release();
            site->events_ = nullptr;
        }
        points->Release();
    }
    if (!site->events_) {  // a control that would go anywhere is not shown
        site->Close();
        return nullptr;
    }
    site->browser_->put_Silent(VARIANT_TRUE);
    return site;
}

bool BrowserSite::Navigate(const std::string& url) {
    if (!browser_) return false;
    BSTR address = ::SysAllocString(Wide(url).c_str());
    VARIANT empty;
    ::VariantInit(&empty);
    const HRESULT hr = browser_->Navigate(address, &empty, &empty, &empty, &empty);
    ::SysFreeString(address);
    return SUCCEEDED(hr);
}

void BrowserSite::Close() {
    if (events_) {
        events_->Unadvise(cookie_);
        events_->Release();
        events_ = nullptr;
    }
    if (browser_) {
        browser_->Stop();
        browser_->Release();
        browser_ = nullptr;
    }
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    Release();
}

STDMETHODIMP BrowserSite::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
        *out = static_cast<IDispatch*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BrowserSite::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) BrowserSite::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP BrowserSite::GetContainer(IOleContainer** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserSite::GetWindow(::HWND* out) {
    if (!out) return E_POINTER;
    *out = host_;
    return S_OK;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                           LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    ::GetClientRect(host_, pos);
    ::GetClientRect(host_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP BrowserSite::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

// The page may go to other web pages, but never to another kind of address; it
// opens no windows and saves nothing.
STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    switch (id) {
        case DISPID_BEFORENAVIGATE2: {  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
            if (!params || params->cArgs < 7) break;
            const VARIANT& url = params->rgvarg[5];
            const VARIANT* value = url.vt == (VT_BYREF | VT_VARIANT) ? url.pvarVal : &url;
            if (!value || value->vt != VT_BSTR || !IsWebPage(value->bstrVal)) Refuse(params, 0);
            break;
        }
        case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
        case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel)
            Refuse(params, 0);
            break;
        case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
            Refuse(params, 3);
            break;
        default:
            break;
    }
    return S_OK;
}

}  // namespace plat::win32
