-- Compiled with this target's luac and embedded as a resource of the test program.
resource_chunk_ran = (resource_chunk_ran or 0) + 1
resource_text = "资源 chunk"
