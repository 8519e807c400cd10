#include "host/apache/apache_request.h"

// The server's headers need httpd.h first.
#include <httpd.h>

#include <apr_buckets.h>
#include <apr_strings.h>
#include <apr_tables.h>
#include <http_core.h>
#include <http_protocol.h>
#include <util_filter.h>
#include <util_script.h>

#include <cctype>
#include <cstring>
#include <string>

namespace pexo {

namespace {

bool NameIs(const char* name, int32_t length, const char* literal) {
  return static_cast<size_t>(length) == std::strlen(literal) &&
         strncasecmp(name, literal, static_cast<size_t>(length)) == 0;
}

// Credentials stay out of the variables, as the server keeps them out of
// its own CGI environment.
bool IsCredentialHeader(const char* name) {
  return strcasecmp(name, "Authorization") == 0 || strcasecmp(name, "Proxy-Authorization") == 0;
}

// "HTTP_" + the header name upper-cased, every other byte than a letter or
// digit becoming "_".
void AppendVariableName(const char* header, std::string* out) {
  out->append("HTTP_");
  for (const char* p = header; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    out->push_back(std::isalnum(c) ? static_cast<char>(std::toupper(c)) : '_');
  }
}

// The value up to the end, a line break never splitting a line.
void AppendLineValue(const char* value, std::string* out) {
  for (const char* p = value; *p; ++p) out->push_back(*p == '\r' || *p == '\n' ? ' ' : *p);
}

std::string AllHttp(const apr_table_t* headers) {
  std::string lines;
  const apr_array_header_t* entries = apr_table_elts(headers);
  const apr_table_entry_t* entry = reinterpret_cast<const apr_table_entry_t*>(entries->elts);
  for (int i = 0; i < entries->nelts; ++i) {
    if (!entry[i].key || !entry[i].val || IsCredentialHeader(entry[i].key)) continue;
    AppendVariableName(entry[i].key, &lines);
    lines.push_back(':');
    AppendLineValue(entry[i].val, &lines);
    lines.push_back('\n');
  }
  return lines;
}

// The script's own URL path: the decoded URI without the extra path that
// follows the file name.
const char* ScriptUrlPath(request_rec* r) {
  const char* uri = r->uri ? r->uri : "/";
  size_t uri_length = std::strlen(uri);
  size_t extra = r->path_info ? std::strlen(r->path_info) : 0;
  if (extra > 0 && extra < uri_length &&
      std::strcmp(uri + uri_length - extra, r->path_info) == 0) {
    return apr_pstrmemdup(r->pool, uri, uri_length - extra);
  }
  return uri;
}

}  // namespace

ApacheResponse::ApacheResponse(request_rec* r) : r_(r) {}

int ApacheResponse::SetStatus(int code, const char* reason, int32_t reason_length) {
  // The server knows nothing outside 100-599 and would answer 500 instead.
  if (abandoned_ || body_started_ || code < 100 || code > 599 || reason_length < 0) return 0;
  r_->status = code;
  r_->status_line = apr_psprintf(r_->pool, "%d %.*s", code, static_cast<int>(reason_length),
                                 reason ? reason : "");
  return 1;
}

int ApacheResponse::SetHeader(const char* name, int32_t name_length, const char* value,
                              int32_t value_length, bool replace) {
  if (abandoned_ || body_started_ || !name || name_length <= 0 || value_length < 0) return 0;
  const char* text = apr_pstrmemdup(r_->pool, value ? value : "", static_cast<size_t>(value_length));
  if (NameIs(name, name_length, "Content-Type")) {
    ap_set_content_type(r_, text);
    return 1;
  }
  if (NameIs(name, name_length, "Content-Length")) {
    apr_off_t length = 0;
    char* end = nullptr;
    if (apr_strtoff(&length, text, &end, 10) != APR_SUCCESS || *end || length < 0) return 0;
    ap_set_content_length(r_, length);
    return 1;
  }
  const char* key = apr_pstrmemdup(r_->pool, name, static_cast<size_t>(name_length));
  if (replace) {
    apr_table_setn(r_->headers_out, key, text);
  } else {
    apr_table_addn(r_->headers_out, key, text);
  }
  return 1;
}

int32_t ApacheResponse::WriteBody(const char* data, int32_t length, bool) {
  if (failed_ || abandoned_ || r_->connection->aborted) return -1;
  if (length < 0) return -1;
  body_started_ = true;
  if (!brigade_) brigade_ = apr_brigade_create(r_->pool, r_->connection->bucket_alloc);
  // The server's own writers: the ring macros are not clean C++.
  apr_status_t status = length > 0 ? ap_fwrite(r_->output_filters, brigade_, data,
                                               static_cast<apr_size_t>(length))
                                   : APR_SUCCESS;
  if (status == APR_SUCCESS) status = ap_fflush(r_->output_filters, brigade_);
  apr_brigade_cleanup(brigade_);
  if (status != APR_SUCCESS || r_->connection->aborted) {
    failed_ = true;
    return -1;
  }
  return length;
}

ApacheRequest::ApacheRequest(request_rec* r) : r_(r), response_(r) { FillVariables(); }

void ApacheRequest::FillVariables() {
  ap_add_common_vars(r_);
  ap_add_cgi_vars(r_);
  apr_table_t* env = r_->subprocess_env;
  apr_table_setn(env, "PATH_INFO", ScriptUrlPath(r_));
  apr_table_setn(env, "PATH_TRANSLATED", r_->filename ? r_->filename : "");
  // The bare host name; the document URL brackets an IPv6 address itself.
  apr_table_setn(env, "SERVER_NAME", ap_get_server_name(r_));
  apr_table_setn(env, "SERVER_PORT_SECURE",
                 std::strcmp(ap_http_scheme(r_), "https") == 0 ? "1" : "0");
  if (!apr_table_get(env, "REMOTE_HOST")) {
    apr_table_setn(env, "REMOTE_HOST", r_->useragent_ip ? r_->useragent_ip : "");
  }
  std::string all_http = AllHttp(r_->headers_in);
  apr_table_setn(env, "ALL_HTTP", apr_pstrmemdup(r_->pool, all_http.data(), all_http.size()));
}

bool ApacheRequest::GetServerVariable(const char* name, String* value) {
  const char* found = apr_table_get(r_->subprocess_env, name);
  if (!found) return false;
  value->assign(found, static_cast<int32_t>(std::strlen(found)));
  return true;
}

bool ApacheRequest::ChunkedBody() {
  return apr_table_get(r_->headers_in, "Transfer-Encoding") != nullptr;
}

int32_t ApacheRequest::ReadBody(char* buffer, int32_t size, int64_t deadline) {
  if (body_failed_ || size < 0) return kBodyMalformed;
  if (!body_setup_) {
    body_setup_ = true;
    int status = ap_setup_client_block(r_, REQUEST_CHUNKED_DECHUNK);
    if (status != OK) {
      body_failed_ = true;
      return status >= 400 && status < 500 ? -status : kBodyMalformed;
    }
    if (!ap_should_client_block(r_)) return 0;
  }
  if (size == 0) return 0;
  // The socket's time-out bounds each wait of the read; the server's own
  // stays in force when it is the shorter one.
  apr_socket_t* socket = ap_get_conn_socket(r_->connection);
  apr_interval_time_t saved = 0;
  bool bounded = deadline != 0 && socket && apr_socket_timeout_get(socket, &saved) == APR_SUCCESS;
  if (bounded) {
    int64_t left = deadline - MonotonicMilliseconds();
    if (left <= 0) return kBodyTimedOut;
    apr_interval_time_t wait = static_cast<apr_interval_time_t>(left) * 1000;
    if (saved < 0 || wait < saved) apr_socket_timeout_set(socket, wait);
  }
  int32_t n = ReadBrigade(buffer, size);
  if (bounded) apr_socket_timeout_set(socket, saved);
  if (n == kBodyMalformed && deadline != 0 && MonotonicMilliseconds() >= deadline) {
    n = kBodyTimedOut;
  }
  if (n < 0) {
    body_failed_ = true;
    r_->connection->keepalive = AP_CONN_CLOSE;
  }
  return n;
}

// The client-block reader of the server, without its habit of answering a
// failed read with an error page of its own: the engine reports it.
int32_t ApacheRequest::ReadBrigade(char* buffer, int32_t size) {
  if (!body_brigade_) body_brigade_ = apr_brigade_create(r_->pool, r_->connection->bucket_alloc);
  apr_status_t status = ap_get_brigade(r_->input_filters, body_brigade_, AP_MODE_READBYTES,
                                       APR_BLOCK_READ, static_cast<apr_off_t>(size));
  if (status == AP_FILTER_ERROR) {
    // A filter refused the body (bad chunk, over LimitRequestBody) and has
    // answered the request itself.
    apr_brigade_cleanup(body_brigade_);
    response_.Abandon();
    return kBodyMalformed;
  }
  if (status != APR_SUCCESS) {
    apr_brigade_cleanup(body_brigade_);
    return APR_STATUS_IS_TIMEUP(status) ? kBodyTimedOut : kBodyMalformed;
  }
  // At the end the brigade holds only the end-of-stream mark.
  apr_size_t length = static_cast<apr_size_t>(size);
  status = apr_brigade_flatten(body_brigade_, buffer, &length);
  apr_brigade_cleanup(body_brigade_);
  if (status != APR_SUCCESS) return kBodyMalformed;
  r_->read_length += static_cast<apr_off_t>(length);
  return static_cast<int32_t>(length);
}

void ApacheRequest::DiscardBody() {
  if (!body_failed_) ap_discard_request_body(r_);
}

}  // namespace pexo
