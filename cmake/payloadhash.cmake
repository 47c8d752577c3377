# cmake -DIN=app.7z -DOUT=app.sha256 -P payloadhash.cmake: the payload resource's SHA-256 as
# 64 lowercase hexadecimal digits, no line end (the installer checks it at start).
file(SHA256 ${IN} digest)
file(WRITE ${OUT} "${digest}")
