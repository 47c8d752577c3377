function fails()
  local n = 1
  error("failing on purpose " .. n)
end
fails()
