<html lang="en">
<head>
    <meta charset="UTF-8">
    <meta http-equiv="X-UA-Compatible" content="IE=edge">
    <meta name="viewport" content="width=device-width, initial-scale=1.0">
    <link rel="preconnect" href="https://fonts.googleapis.com">
    <link rel="preconnect" href="https://fonts.gstatic.com" crossorigin>
    <link href="https://fonts.googleapis.com/css2?family=Roboto:wght@400;500&display=swap" rel="stylesheet">

    <link rel="stylesheet" href="styles3.css">
    <title>Video Host</title>

<style type="text/css">

    video {
    height: 300px;
    width: 300px;
        margin-top:5px;
        /* Rounded corners (Firefox 5 only) */
        -moz-border-radius:20px;
        -webkit-border-radius:20px;
        border-radius:10px;
        overflow: hidden;
    }

</style>

    <meta charset="utf-8" />
    <title>AngularJS Plunker</title>
    <script>document.write('<base href="' + document.location + '" />');</script>
    <script data-require="angular.js@1.5.x" src="https://code.angularjs.org/1.5.8/angular.js" data-semver="1.5.8"></script>
    <script src="https://channel.example.net/app.js"></script>


</head>

<body>
    <main>

        <left>

       <div class="feed__item">

                        <div class="gallery">
                                    <video controls="controls">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                                            <source src="clip7.mp4" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">A longer story</div>
    </div>

            </a>


<br>

      <form method = "POST">
          <textarea name="text" maxlength="500"></textarea>
          <input type="submit" value="Post Comment"></input>


      </form>
<font size="4">


<textarea id="text" name="text" cols="120" rows="20" style="width: 400px; height: 470px" readonly>

<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'clip7_comments.txt';
$size = is_file($filename) ? filesize($filename) : 0;
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
if ($txt !== null) {
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        if ($length > 500) {
                echo "Sorry, comments are limited to 500 characters.\n";
        } else {
                $date=date("Y-m-d H:i:s");
                $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
                $post = $txt . PHP_EOL . "$date\r\n" . $dt . PHP_EOL;
                if ($size + strlen($post) > 30000) {
                        echo "Sorry, comments for this entry are full.";
                } else {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        file_put_contents("clip7_comments.txt", $post, FILE_APPEND | LOCK_EX);
                }
        }
}
{
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("clip7_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
$data = file_get_contents("clip7_comments.txt");
echo htmlspecialchars((string) $data, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}
}
?>
</textarea>

</main>
</body>
</html>
