// The POST of a form, in the FTP module beside the FTP Remote: libcurl is loaded only by the commands that need it.
#include "publish/http.h"

#include <curl/curl.h>
#include <memory>
#include <string_view>
#include <type_traits>

namespace clipnest::publish {

namespace {

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// One field's name or value, percent-encoded as a form sends it.
std::string formEncoded(CURL* curl, const std::string& text) {
    const std::unique_ptr<char, void (*)(void*)> escaped(
        curl_easy_escape(curl, text.data(), static_cast<int>(text.size())), &curl_free);
    return escaped ? std::string(escaped.get()) : std::string();
}

HttpAnswer postOnce(const std::string& url, const FormFields& fields) {
    HttpAnswer answer;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        answer.problem = "libcurl could not start";
        return answer;
    }
    std::string form;
    for (const auto& [name, value] : fields) {
        if (!form.empty()) {
            form += '&';
        }
        form += formEncoded(curl.get(), name);
        form += '=';
        form += formEncoded(curl.get(), value);
    }
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "Clipnest/" CLIPNEST_VERSION);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK) {
        answer.problem = *errorText ? errorText : curl_easy_strerror(code);
        answer.body.clear();
        return answer;
    }
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

} // namespace

} // namespace clipnest::publish

extern "C" __attribute__((visibility("default"))) bool clipnestPostForm(const std::string& url,
                                                                        const clipnest::publish::FormFields& fields,
                                                                        clipnest::publish::HttpAnswer& answer,
                                                                        const char* version) {
    if (std::string_view(version) != CLIPNEST_VERSION) {
        return false;
    }
    answer = clipnest::publish::postOnce(url, fields);
    return true;
}
static_assert(std::is_same_v<decltype(&clipnestPostForm), clipnest::publish::PostForm>);
