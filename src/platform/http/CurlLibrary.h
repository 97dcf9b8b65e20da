#pragma once

#include <curl/curl.h>

#include <string>

// The libcurl functions the session uses, from a library opened on first use.
// libcurl brings OpenSSL, GnuTLS, Kerberos and LDAP with it, megabytes of
// mappings and start-up work, while most runs never send a request (nothing
// is fetched until an update feed or a telemetry endpoint is set).
struct CurlLibrary {
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_cleanup) multi_cleanup;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_wakeup) multi_wakeup;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_url) url;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_url_set) url_set;
    decltype(&curl_url_get) url_get;
    decltype(&curl_free) free;

    // The process's library, opened and globally initialised by the first
    // call and kept for the process's life; nothing, with the reason in
    // error (logged once), when it cannot be opened or lacks a function.
    static const CurlLibrary* load(std::string& error);
    static const CurlLibrary* load();
};
