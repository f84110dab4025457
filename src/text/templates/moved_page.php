<?php
// A video's page under the name it had before a rename: every request for it, a visit or a comment posted, is sent
// on to the page under the new name for good, so shared links keep working and no comment lands on the old thread.
// It reads and stores nothing.
$new_page = '{NewPage}' ;
// The name alone is an address relative to this page's folder; encoded, nothing in it reads as a scheme or a path.
$new_address = rawurlencode($new_page) ;
header('Location: ' . $new_address, true, 301) ;
header('Content-Type: text/html; charset=UTF-8') ;
?>
<!DOCTYPE html>
<html lang="en">
<head><meta charset="UTF-8"><title>This page has moved</title></head>
<body><p>This page has moved to <a href="<?php echo $new_address ; ?>"><?php echo htmlspecialchars($new_page) ; ?></a>.</p></body>
</html>
