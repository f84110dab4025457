<?php
// Prepended to a page the tests run: puts the request in place as the server would (the form, the method, the
// visitor's address, the query), from CLIPNEST_REQUEST, a base64 of a serialized array.
$clipnest_request = unserialize(base64_decode((string) getenv('CLIPNEST_REQUEST')));
$_SERVER['REQUEST_METHOD'] = $clipnest_request['post'] === null ? 'GET' : 'POST';
$_SERVER['REMOTE_ADDR'] = $clipnest_request['address'];
$_POST = $clipnest_request['post'] ?? array();
$_SERVER['QUERY_STRING'] = $clipnest_request['query'] ?? '';
parse_str($_SERVER['QUERY_STRING'], $_GET);
unset($clipnest_request);
