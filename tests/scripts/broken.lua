this is not lua (
