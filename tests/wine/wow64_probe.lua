-- Started by the test command to see whether 32-bit programs run under this Wine.
print("wow64 ok")
